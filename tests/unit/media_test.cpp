// The media module's section reader, on state texts in memory.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "vd_media.h"

namespace {

struct Case {
    const char* name;
    std::string first, second;  // the section's files
    std::string want;
};

std::string print_section(const Case& k, const MediaPattern* patterns, size_t count)
{
    FILE* files[2] = {fmemopen(const_cast<char*>(k.first.data()), k.first.size(), "r"),
                      fmemopen(const_cast<char*>(k.second.data()), k.second.size(), "r")};
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    media_section_print(files, patterns, count, out);
    fclose(out);
    std::string s(text, size);
    free(text);
    for (FILE* f : files)
        fclose(f);
    return s;
}

TEST(MediaSection, BlocksFoundInOrder)
{
    const MediaPattern p[] = {
        {"GRP STATUS", "[G]\n", 2, 0},
        {"CHN STATUS", "", 1, 0},
        {"LAST", "", 0, 0},
    };
    const Case cases[] = {
        {"all found", "x\nGRP STATUS 1\na\nb\nc\nCHN STATUS\nd\nLAST one\n", " ",
         "[G]\nGRP STATUS 1\na\nb\nCHN STATUS\nd\nLAST one\n\n"},
        // The first search reads to the end: no header, nothing after.
        {"first missing", "CHN STATUS\nd\nLAST\n", " ", "\n"},
        {"middle missing", "GRP STATUS\na\nb\nLAST\n", " ", "[G]\nGRP STATUS\na\nb\n\n"},
        // Found only after what was read before it.
        {"out of order", "CHN STATUS\nd\nGRP STATUS\na\nb\n", " ", "[G]\nGRP STATUS\na\nb\n\n"},
        // Fewer lines than asked for, the last without its line end.
        {"short file", "GRP STATUS\na", " ", "[G]\nGRP STATUS\na\n"},
        {"empty file", "", " ", "\n"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(print_section(k, p, std::size(p)), k.want) << k.name;
}

TEST(MediaSection, TwoFilesAndLongLines)
{
    const MediaPattern p[] = {{"IN0", "[IN]\n", 1, 1}, {"OUT0", "[OUT]\n", 1, 0}};
    Case k{"two files", "OUT0\no\n", "IN0\ni\n", "[IN]\nIN0\ni\n[OUT]\nOUT0\no\n\n"};
    EXPECT_EQ(print_section(k, p, std::size(p)), k.want);

    // A line longer than the buffer is read in pieces of 1023 bytes.
    std::string longline = "IN0" + std::string(1500, 'x') + "\n";
    Case l{"long", "", longline + "after\n", ""};
    std::string got = print_section(l, p, 1);
    EXPECT_EQ(got, "[IN]\n" + longline + "\n");
}

}  // namespace
