// vd_media.cpp — the state of the media pipeline: has the camera's av_log.sh
// collect each component's state into /tmp/media, then shows a component's
// whole file or the summaries made of selected blocks.
#include "vd_media.h"

#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <iterator>
#include <memory>

#include "module.h"
#include "osa.h"

namespace {

constexpr uint8_t kMediaId = 19;

// Indexed by the option value; slot 12 has no component.
const char* const kMediaNames[] = {
    "acodec", "adec", "aenc", "ai",  "ao",  "audio", "chnl", "h264e",
    "h265e",  "isp",  "ive",  "jpege", "",  "rc",    "rgn",  "sys",
    "vb",     "vda",  "venc", "vgs", "vi",  "vo",    "vpss", "video",
};
static_assert(std::size(kMediaNames) == 24, "one slot per option value");
enum MediaComponent {
    kAcodec = 0, kAdec, kAenc, kAi, kAo, kAudio, kChnl, kH264e, kH265e, kIsp, kIve, kJpege,
    kRc = 13, kRgn, kSys, kVb, kVda, kVenc, kVgs, kVi, kVo, kVpss, kVideo,
};

constexpr char kShortOptions[] = "M:a";
const option kOptions[] = {
    {"module", required_argument, nullptr, 'M'},
    {"all", no_argument, nullptr, 'a'},
    {"acodec", no_argument, nullptr, kAcodec},
    {"adec", no_argument, nullptr, kAdec},
    {"aenc", no_argument, nullptr, kAenc},
    {"ai", no_argument, nullptr, kAi},
    {"ao", no_argument, nullptr, kAo},
    {"audio", no_argument, nullptr, kAudio},
    {"chnl", no_argument, nullptr, kChnl},
    {"h264e", no_argument, nullptr, kH264e},
    {"h265e", no_argument, nullptr, kH265e},
    {"isp", no_argument, nullptr, kIsp},
    {"ive", no_argument, nullptr, kIve},
    {"jpege", no_argument, nullptr, kJpege},
    {"rc", no_argument, nullptr, kRc},
    {"rgn", no_argument, nullptr, kRgn},
    {"sys", no_argument, nullptr, kSys},
    {"vb", no_argument, nullptr, kVb},
    {"vda", no_argument, nullptr, kVda},
    {"venc", no_argument, nullptr, kVenc},
    {"vgs", no_argument, nullptr, kVgs},
    {"vi", no_argument, nullptr, kVi},
    {"vo", no_argument, nullptr, kVo},
    {"vpss", no_argument, nullptr, kVpss},
    {"video", no_argument, nullptr, kVideo},
    {nullptr, 0, nullptr, 0},
};
const OptionHelp kHelp[] = {
    {"module", "module name: media"},
    {"", "Display all information!"},
    {"", "Display acodec information!"},
    {"", "Display adec information!"},
    {"", "Display aenc information!"},
    {"", "Display ai information!"},
    {"", "Display ao information!"},
    {"", "Display audio information!"},
    {"", "Display chnl information!"},
    {"", "Display h264e information!"},
    {"", "Display h265e information!"},
    {"", "Display isp information!"},
    {"", "Display ive information!"},
    {"", "Display jpege information!"},
    {"", "Display rc information!"},
    {"", "Display rgn information!"},
    {"", "Display sys information!"},
    {"", "Display vb information!"},
    {"", "Display vda information!"},
    {"", "Display venc information!"},
    {"", "Display vgs information!"},
    {"", "Display vi information!"},
    {"", "Display vo information!"},
    {"", "Display vpss information!"},
    {"", "Display video information!"},
};
static_assert(std::size(kHelp) + 1 == std::size(kOptions), "one help row per option");

// The summaries' sections: which files, which blocks.
struct MediaSection {
    const char* files[2];  // opened in this order; the second may be absent
    const MediaPattern* patterns;
    size_t count;
};

const MediaPattern kSysBlocks[] = {{"System State:", "[SYS]\n", 0, 0}};
const MediaPattern kVbBlocks[] = {{"PoolId    PhysAddr    VirtAddr    IsComm", "[VB]\n", 1, 0}};
const MediaPattern kVpssBlocks[] = {
    {"VPSS GRP WORK STATUS", "[VPSS]\n", 2, 0},
    {"VPSS CHN OUTPUT RESOLUTION", "", 3, 0},
};
const MediaPattern kViBlocks[] = {
    {"VI DEV ATTR", "[VI]\n", 2, 0},       {"VI PHYCHN ATTR", "", 2, 0},
    {"VI PHYCHN STATUS 1", "", 2, 0},      {"VI PHYCHN STATUS 2", "", 2, 0},
    {"VI WDR ATTR", "", 2, 0},             {"VI WDR DES STATUS", "", 2, 0},
    {"VI WDR SRC STATUS", "", 2, 0},       {"VI WDR COMBINE STATUS", "", 2, 0},
    {"VI CHN STATUS", "", 2, 0},
};
const MediaPattern kVencBlocks[] = {
    {"VENC CHN ATTR 1", "[VENC]\n", 5, 0},
    {"VENC STREAM STATE", "", 5, 0},
};
const MediaPattern kRcBlocks[] = {{"RUN INFO1", "[RC]\n", 5, 0}};
const MediaPattern kAcodecBlocks[] = {{"ACODEC PARAM", "[ACODEC]\n", 2, 0}};
const MediaPattern kAoBlocks[] = {{"AO DEV ATTR", "[AO]\n", 2, 0}, {"AO DEV STATUS", "", 2, 0}};
const MediaPattern kAdecBlocks[] = {{"ADEC CHN ATTR", "[ADEC]\n", 2, 0}};
const MediaPattern kAiBlocks[] = {{"AI DEV ATTR", "[AI]\n", 2, 0}, {"AI DEV STATUS", "", 2, 0}};
const MediaPattern kAencBlocks[] = {{"AENC CHN ATTR", "[AENC]\n", 2, 0}};
// Files: ao.log (0), ai.log (1); the input side is shown first.
const MediaPattern kVqeBlocks[] = {
    {"AI CHN VQE STATUS0", "[AI VQE]\n", 2, 1}, {"AI CHN VQE STATUS1", "", 2, 1},
    {"AI CHN VQE STATUS2", "", 2, 1},           {"AI CHN VQE STATUS3", "", 2, 1},
    {"AI CHN VQE STATUS4", "", 2, 1},           {"AO CHN VQE STATUS0", "[AO VQE]\n", 2, 0},
    {"AO CHN VQE STATUS1", "", 2, 0},           {"AO CHN VQE STATUS2", "", 2, 0},
    {"AO CHN VQE STATUS3", "", 2, 0},           {"AO CHN VQE STATUS4", "", 2, 0},
};

#define MEDIA_SECTION(FILE_A, FILE_B, BLOCKS) {{FILE_A, FILE_B}, BLOCKS, std::size(BLOCKS)}
const MediaSection kSysSection = MEDIA_SECTION("/tmp/media/sys.log", nullptr, kSysBlocks);
const MediaSection kVbSection = MEDIA_SECTION("/tmp/media/vb.log", nullptr, kVbBlocks);
const MediaSection kVpssSection = MEDIA_SECTION("/tmp/media/vpss.log", nullptr, kVpssBlocks);
const MediaSection kViSection = MEDIA_SECTION("/tmp/media/vi.log", nullptr, kViBlocks);
const MediaSection kVencSection = MEDIA_SECTION("/tmp/media/venc.log", nullptr, kVencBlocks);
const MediaSection kRcSection = MEDIA_SECTION("/tmp/media/rc.log", nullptr, kRcBlocks);
const MediaSection kAcodecSection = MEDIA_SECTION("/tmp/media/acodec.log", nullptr, kAcodecBlocks);
const MediaSection kAoSection = MEDIA_SECTION("/tmp/media/ao.log", nullptr, kAoBlocks);
const MediaSection kAdecSection = MEDIA_SECTION("/tmp/media/adec.log", nullptr, kAdecBlocks);
const MediaSection kAiSection = MEDIA_SECTION("/tmp/media/ai.log", nullptr, kAiBlocks);
const MediaSection kAencSection = MEDIA_SECTION("/tmp/media/aenc.log", nullptr, kAencBlocks);
const MediaSection kVqeSection = MEDIA_SECTION("/tmp/media/ao.log", "/tmp/media/ai.log", kVqeBlocks);
#undef MEDIA_SECTION

const MediaSection* const kVideoSummary[] = {&kSysSection, &kVbSection, &kVpssSection,
                                             &kViSection,  &kVencSection, &kRcSection};
const MediaSection* const kAudioSummary[] = {&kAcodecSection, &kAoSection, &kAdecSection,
                                             &kAiSection,     &kAencSection, &kVqeSection};

char g_line[1024];  // every line read from a state file passes through here

void media_usage()
{
    module_usage_print(kMediaId, kOptions, kHelp, std::size(kHelp));
}

// A state file that is missing means av_log.sh did not run: nothing after it
// can be trusted, so the run ends here.
UniqueFile media_open(const char* path)
{
    if (path == nullptr)
        return UniqueFile();
    UniqueFile f(fopen(path, "r"));
    if (f == nullptr) {
        perror("fopen");
        module_refuse();
    }
    return f;
}

void media_section(const MediaSection& s)
{
    UniqueFile first = media_open(s.files[0]);
    UniqueFile second = media_open(s.files[1]);
    FILE* files[2] = {first.get(), second.get()};
    media_section_print(files, s.patterns, s.count, stdout);
}

void media_summary(const MediaSection* const* sections, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        media_section(*sections[i]);
}

// The whole state file of one component, through the shell.
void media_copy(int component)
{
    char cmd[128];
    snprintf(cmd, sizeof cmd, "cat /tmp/media/%s.log", kMediaNames[component]);
    // Our buffered lines go out before cat's.
    fflush(stdout);
    int ignored = system(cmd);
    (void)ignored;
}

constexpr ErrorSite kSite{__FILE_NAME__, "media_init_param"};

// Acts on each option at once, in command-line order.
void media_init_param(int argc, char** argv)
{
    int c;
    while (module_option(argc, argv, kShortOptions, kOptions, kSite, &c)) {
        switch (c) {
        case kAcodec: case kAdec: case kAenc: case kAi: case kAo: case kChnl: case kH264e:
        case kH265e: case kIsp: case kIve: case kJpege: case kRgn: case kVda: case kVgs: case kVo:
            media_copy(c);
            break;
        case kRc: media_section(kRcSection); break;
        case kSys: media_section(kSysSection); break;
        case kVb: media_section(kVbSection); break;
        case kVenc: media_section(kVencSection); break;
        case kVi: media_section(kViSection); break;
        case kVpss: media_section(kVpssSection); break;
        case kVideo:
            media_summary(kVideoSummary, std::size(kVideoSummary));
            break;
        case kAudio:
            media_summary(kAudioSummary, std::size(kAudioSummary));
            break;
        case 'a':
            media_summary(kVideoSummary, std::size(kVideoSummary));
            media_summary(kAudioSummary, std::size(kAudioSummary));
            break;
        }
    }
    if (c != 0)
        module_refuse(media_usage);
}

int media_test_main(int argc, char** argv)
{
    // The camera's own script; where it fails, the state files say so.
    int ignored = system("av_log.sh");
    (void)ignored;
    media_init_param(argc, argv);
    return 0;
}

// Reads the next line into g_line; false at the end of the file.
bool media_read_line(FILE* f)
{
    memset(g_line, 0, sizeof g_line);
    return fgets(g_line, sizeof g_line, f) != nullptr;
}

bool media_find(FILE* f, const char* title)
{
    while (media_read_line(f)) {
        if (strstr(g_line, title) != nullptr)
            return true;
    }
    return false;
}

}  // namespace

void media_section_print(FILE* const* files, const MediaPattern* patterns, size_t count, FILE* out)
{
    for (size_t i = 0; i < count; ++i) {
        const MediaPattern& p = patterns[i];
        FILE* f = files[p.file];
        if (!media_find(f, p.title))
            continue;
        fprintf(out, "%s%s", p.header, g_line);
        for (int n = 0; n < p.following && media_read_line(f); ++n)
            fprintf(out, "%s", g_line);
    }
    fputc('\n', out);
}

REGISTER_MODULE(media, kMediaId, media_test_main, media_usage, nullptr, kShortOptions, kOptions)
