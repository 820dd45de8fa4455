// discovery.h — the camera discovery protocols as pure functions: the
// raw-Ethernet search protocol (EtherType 0x0809) and the planet UDP
// protocol. Bytes in, bytes out; no sockets, no store. Used by the camera's
// responder and by PC-side tools alike.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace discovery {

constexpr size_t kMacLen = 6;
constexpr uint16_t kEtherType = 0x0809;
constexpr uint8_t kMark[4] = {0x20, 0x12, 0x06, 0x10};
constexpr size_t kHeaderLen = 20;       // addresses, EtherType, mark, code
constexpr size_t kMinFrame = 60;        // shorter frames are padded with zeros to this
constexpr size_t kModifyTextAt = 26;
constexpr size_t kReplyLen = 260;
constexpr size_t kSearchTextAt = 20;
constexpr size_t kSearchTextRoom = 240;
constexpr size_t kModifyResultAt = 26;
constexpr size_t kModifyReplyTextAt = 27;
constexpr size_t kModifyTextRoom = 233;
constexpr uint8_t kBroadcast[kMacLen] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};

// Request codes are told apart by the sum of the two code bytes.
constexpr unsigned kCodeSearch = 0;
constexpr unsigned kCodeModify = 2;
constexpr uint8_t kReplySearch = 1;
constexpr uint8_t kReplyModify = 3;

enum class FrameKind { kIgnore, kSearch, kModify };

struct FrameRequest {
    FrameKind kind;
    uint8_t requester[kMacLen];  // the frame's source
    int selector;                // modify: 0 wired record, 1 wireless
    const char* text;            // modify: request text, not terminated
    size_t text_len;             // up to its zero byte or the captured end
};

// A station's own address: neither a group address (broadcast, multicast)
// nor all zeros, which is what an absent interface reads as.
bool is_station(const uint8_t mac[kMacLen]);

// Reads a captured frame; nothing past len is read. Frames from own_eth or
// own_wlan (the camera itself), from an address that is no station's (a
// reply would go to a whole group), short, foreign or of another code give
// kIgnore, and so does a modify aimed at neither address. An own address
// that is no station's matches no target.
FrameKind parse_frame(const uint8_t* frame, size_t len, const uint8_t own_eth[kMacLen],
                      const uint8_t own_wlan[kMacLen], FrameRequest* out);

// A modify request's text split at ';' with empty fields dropped: 32 slots
// of at most 127 characters; longer fields are cut, fields past the 32nd
// are dropped.
constexpr size_t kFieldSlots = 32;
constexpr size_t kFieldSize = 128;
struct RequestFields {
    char field[kFieldSlots][kFieldSize];
    size_t count;
};
enum Field { kFieldIp, kFieldPort, kFieldNetmask, kFieldGateway, kFieldDns, kFieldTitle,
             kFieldUser, kFieldPassword };
void split_request(const char* text, size_t len, RequestFields* out);
// The HTTP port of a request field: its decimal value clamped to 1..65535.
int request_port(const char* field);

// What a reply describes; every text terminated.
struct ReplyInfo {
    const char* ipaddr;
    int http_port;
    const char* netmask;
    const char* gateway;
    const char* dns1;
    const char* text1;
    const char* text2;
    const char* text3;
    const char* title;
    const char* model;  // OEM model, or device text 1 when that is empty
    int uptime;
    int mode;
};
// The ';'-separated reply text, cut silently at room.
void format_reply_text(char* out, size_t room, const ReplyInfo& info);
void build_search_reply(uint8_t out[kReplyLen], const uint8_t dst[kMacLen],
                        const uint8_t own[kMacLen], const ReplyInfo& info);
void build_modify_reply(uint8_t out[kReplyLen], const uint8_t requester[kMacLen],
                        const uint8_t own[kMacLen], int result, const ReplyInfo& info);

// For the configuration tool: requests, and the replies read back.
// Each returns the frame's length, or 0 when size is too small.
size_t build_search_request(uint8_t* out, size_t size, const uint8_t src[kMacLen],
                            const uint8_t dst[kMacLen]);
size_t build_modify_request(uint8_t* out, size_t size, const uint8_t src[kMacLen],
                            const uint8_t dst[kMacLen], const uint8_t target[kMacLen],
                            const char* text);
struct Reply {
    uint8_t code;                 // kReplySearch or kReplyModify
    uint8_t camera[kMacLen];      // source of the reply
    uint8_t requester[kMacLen];   // modify: the requester it answers
    int result;                   // modify: 1 accepted, 0 refused
    char text[kSearchTextRoom];   // terminated
};
bool parse_reply(const uint8_t* frame, size_t len, Reply* out);

// A reply text read back into its fields. The camera cuts the text at its
// room without a word, so a long one may lack its last fields: `cut` is then
// set, the missing texts are empty and the missing numbers -1. A device text
// holding ';' cannot be told from a separator; the extra parts go to the
// title, the one text an operator sets freely. False for a port, uptime or
// mode that is not a decimal number, and for a text with fewer fields that
// did not fill its room.
struct ReplyFields {
    char ipaddr[kSearchTextRoom];
    char netmask[kSearchTextRoom];
    char gateway[kSearchTextRoom];
    char dns1[kSearchTextRoom];
    char text1[kSearchTextRoom];
    char text2[kSearchTextRoom];
    char text3[kSearchTextRoom];
    char title[kSearchTextRoom];
    char model[kSearchTextRoom];
    long http_port;
    long uptime;
    long mode;
    bool cut;
};
bool parse_reply_text(const Reply& reply, ReplyFields* out);

// A modify request text from its eight fields (Field order). Every field
// must be non-empty, free of ';' and at most 127 characters, or the camera
// would drop, shift or cut it: anything else is refused, naming the field.
enum class TextCheck { kOk, kEmpty, kSeparator, kTooLong, kNoRoom };
struct ModifyText {
    TextCheck check;
    int field;  // the refused field
};
constexpr size_t kModifyFields = 8;
ModifyText build_modify_text(char* out, size_t size, const char* const fields[kModifyFields]);

// The address rule of the camera: four decimal numbers 0..255 separated by
// dots, each as %d reads it (leading blanks and a sign allowed, leading
// zeros still decimal), nothing after the last.
bool parse_quad(const char* text, uint8_t out[4]);
// Four bytes, first part first, as a dotted quad.
constexpr size_t kQuadTextSize = 16;
void format_quad(const uint8_t q[4], char out[kQuadTextSize]);

// What a console shows for a control byte of outside text: tab as \t, the
// others (below 0x20, and 0x7f) as \xNN; 0 when the byte shows as it is.
size_t control_escape(unsigned char ch, char out[5]);
// Up to len bytes of text (or to its zero byte) with every control byte
// escaped, cut at a whole character to fit size; always terminated.
void escape_controls(char* out, size_t size, const char* text, size_t len);

// Hardware addresses as six hexadecimal pairs separated by ':' or '-'.
bool parse_mac(const char* text, uint8_t out[kMacLen]);
void format_mac(const uint8_t mac[kMacLen], char out[18]);

// Planet UDP protocol.
constexpr uint16_t kPlanetPort = 62630;
constexpr uint16_t kPlanetReplyPort = 62631;
constexpr char kPlanetMagic[8] = {'P', 'L', 'A', 'N', 'E', 'T', 'u', 't'};
constexpr uint8_t kPlanetInfoRequest = 0x16;
constexpr uint8_t kPlanetInfoReply = 0x70;
constexpr uint8_t kPlanetModifyRequest = 0x90;
constexpr uint8_t kPlanetModifyReply = 0x30;
constexpr size_t kPlanetMaxDatagram = 128;
constexpr size_t kPlanetMinLen = 11;
constexpr size_t kPlanetModifyLen = 98;
constexpr size_t kPlanetInfoReplyLen = 114;
constexpr size_t kPlanetModifyReplyLen = 50;
constexpr size_t kPlanetPasswordLen = 16;

// Where the fields of the planet packets lie, for builders and parsers alike.
struct PlanetField {
    size_t at;
    size_t size;
};
namespace planet {
constexpr PlanetField kMagic{0, 8};
constexpr PlanetField kPad{8, 1};  // always 0
constexpr PlanetField kCode{9, 1};
constexpr PlanetField kMac{10, 6};  // the target of a modify, the sender of a reply
// Modify request.
constexpr PlanetField kNewIpaddr{20, 4};
constexpr PlanetField kNewNetmask{24, 4};
constexpr PlanetField kNewGateway{28, 4};
constexpr PlanetField kNewTitle{32, 32};
constexpr PlanetField kCurrent{64, kPlanetPasswordLen};
constexpr PlanetField kFresh{80, kPlanetPasswordLen};
// Info reply.
constexpr PlanetField kTag{16, 4};
constexpr PlanetField kIpaddr{20, 4};
constexpr PlanetField kNetmask{24, 4};
constexpr PlanetField kGateway{28, 4};
constexpr PlanetField kModel{32, 32};
constexpr PlanetField kText2{64, 16};
constexpr PlanetField kModelCopy{80, 32};
// Modify reply.
constexpr PlanetField kResult{16, 16};
}  // namespace planet
// The checksum takes a packet's last two bytes.
constexpr size_t kPlanetSumSize = 2;
static_assert(planet::kFresh.at + planet::kFresh.size + kPlanetSumSize == kPlanetModifyLen, "modify request");
static_assert(planet::kModelCopy.at + planet::kModelCopy.size + kPlanetSumSize == kPlanetInfoReplyLen,
              "info reply");
static_assert(planet::kResult.at + 2 * planet::kResult.size + kPlanetSumSize == kPlanetModifyReplyLen,
              "modify reply: the result, 16 zero bytes, the checksum");

// The Internet checksum (RFC 1071) of the bytes, as the planet packets carry it.
uint16_t planet_checksum(const uint8_t* data, size_t len);
inline uint8_t nibble_swap(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }
void planet_decode_password(const uint8_t field[kPlanetPasswordLen], char out[kPlanetPasswordLen + 1]);
void planet_encode_password(const char* password, uint8_t field[kPlanetPasswordLen]);

enum class PlanetKind { kIgnore, kInfo, kModify };
// A modify datagram shorter than its 98 bytes is ignored: nothing of an
// earlier datagram is ever read as part of it.
PlanetKind planet_classify(const uint8_t* data, size_t len);

struct PlanetModify {
    uint8_t target[kMacLen];
    char ipaddr[kQuadTextSize];
    char netmask[kQuadTextSize];
    char gateway[kQuadTextSize];
    char title[planet::kNewTitle.size];  // at most 31 characters; empty: keep the title
    char current[kPlanetPasswordLen + 1];
    char fresh[kPlanetPasswordLen + 1];  // empty: keep the password
    uint16_t checksum;           // computed over bytes 0..95
    uint16_t checksum_received;  // carried at 96
};
void planet_parse_modify(const uint8_t data[kPlanetModifyLen], PlanetModify* out);

struct PlanetInfo {
    uint8_t mac[kMacLen];
    uint32_t ipaddr;  // network byte order
    uint32_t netmask;
    uint32_t gateway;
    const char* model;  // terminated; at most 31 characters are sent
    const uint8_t* text2;  // 16 bytes are sent
};
void planet_build_info_reply(uint8_t out[kPlanetInfoReplyLen], const PlanetInfo& info);
void planet_build_modify_reply(uint8_t out[kPlanetModifyReplyLen], const uint8_t mac[kMacLen],
                               const char* text);
// For the configuration tool.
size_t planet_build_info_request(uint8_t* out, size_t size);
struct PlanetModifyRequest {
    uint8_t target[kMacLen];
    uint8_t ipaddr[4];
    uint8_t netmask[4];
    uint8_t gateway[4];
    const char* title;
    const char* current;
    const char* fresh;
};
void planet_build_modify_request(uint8_t out[kPlanetModifyLen], const PlanetModifyRequest& r);

// Replies read back: false unless the datagram holds the whole packet with
// the magic, the code and a checksum that verifies.
struct PlanetInfoReply {
    uint8_t mac[kMacLen];
    uint8_t ipaddr[4];  // as sent: first part first
    uint8_t netmask[4];
    uint8_t gateway[4];
    char model[planet::kModel.size + 1];
    char text2[planet::kText2.size + 1];
};
bool planet_parse_info_reply(const uint8_t* data, size_t len, PlanetInfoReply* out);
struct PlanetResult {
    uint8_t mac[kMacLen];
    char text[planet::kResult.size + 1];
    bool accepted;  // the text is "Successfully."
};
bool planet_parse_modify_reply(const uint8_t* data, size_t len, PlanetResult* out);

}  // namespace discovery
