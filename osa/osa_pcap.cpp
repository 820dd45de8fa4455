// osa_pcap.cpp — the capture library, loaded when the first capture opens.
//
// Only the search module captures; linked at start-up, the library and its
// own dependencies would be mapped on every run of every module. These
// definitions stand for the library's calls and forward to it.
#include <pcap/pcap.h>
#include <pthread.h>
#include <stdio.h>

#include <iterator>

#include "osa_dl.h"

namespace {

struct PcapCalls {
    decltype(&pcap_create) create;
    decltype(&pcap_set_snaplen) set_snaplen;
    decltype(&pcap_set_promisc) set_promisc;
    decltype(&pcap_set_immediate_mode) set_immediate_mode;
    decltype(&pcap_set_buffer_size) set_buffer_size;
    decltype(&pcap_activate) activate;
    decltype(&pcap_statustostr) statustostr;
    decltype(&pcap_geterr) geterr;
    decltype(&pcap_compile) compile;
    decltype(&pcap_setfilter) setfilter;
    decltype(&pcap_freecode) freecode;
    decltype(&pcap_loop) loop;
    decltype(&pcap_breakloop) breakloop;
    decltype(&pcap_sendpacket) sendpacket;
    decltype(&pcap_close) close;
    decltype(&pcap_open_live) open_live;
};
PcapCalls g_calls;
bool g_loaded;
char g_load_error[PCAP_ERRBUF_SIZE];
pthread_once_t g_once = PTHREAD_ONCE_INIT;

const DlCall kCalls[] = {
    dl_call("pcap_create", &g_calls.create),
    dl_call("pcap_set_snaplen", &g_calls.set_snaplen),
    dl_call("pcap_set_promisc", &g_calls.set_promisc),
    dl_call("pcap_set_immediate_mode", &g_calls.set_immediate_mode),
    dl_call("pcap_set_buffer_size", &g_calls.set_buffer_size),
    dl_call("pcap_activate", &g_calls.activate),
    dl_call("pcap_statustostr", &g_calls.statustostr),
    dl_call("pcap_geterr", &g_calls.geterr),
    dl_call("pcap_compile", &g_calls.compile),
    dl_call("pcap_setfilter", &g_calls.setfilter),
    dl_call("pcap_freecode", &g_calls.freecode),
    dl_call("pcap_loop", &g_calls.loop),
    dl_call("pcap_breakloop", &g_calls.breakloop),
    dl_call("pcap_sendpacket", &g_calls.sendpacket),
    dl_call("pcap_close", &g_calls.close),
    dl_call("pcap_open_live", &g_calls.open_live),
};

void load()
{
    g_loaded = dl_load(DEBUG_PCAP_SONAME, kCalls, std::size(kCalls), g_load_error, sizeof g_load_error);
}

// Every call but the two that open a handle comes after one was opened, so
// the library is there; the opening calls report a missing library in errbuf.
const PcapCalls& calls()
{
    pthread_once(&g_once, load);
    return g_calls;
}

bool loaded(char* errbuf)
{
    calls();
    if (!g_loaded && errbuf != nullptr)
        snprintf(errbuf, PCAP_ERRBUF_SIZE, "%s", g_load_error);
    return g_loaded;
}

}  // namespace

extern "C" {

pcap_t* pcap_create(const char* source, char* errbuf)
{
    return loaded(errbuf) ? calls().create(source, errbuf) : nullptr;
}

pcap_t* pcap_open_live(const char* device, int snaplen, int promisc, int ms, char* errbuf)
{
    return loaded(errbuf) ? calls().open_live(device, snaplen, promisc, ms, errbuf) : nullptr;
}

int pcap_set_snaplen(pcap_t* p, int snaplen) { return calls().set_snaplen(p, snaplen); }
int pcap_set_promisc(pcap_t* p, int promisc) { return calls().set_promisc(p, promisc); }
int pcap_set_immediate_mode(pcap_t* p, int on) { return calls().set_immediate_mode(p, on); }
int pcap_set_buffer_size(pcap_t* p, int size) { return calls().set_buffer_size(p, size); }
int pcap_activate(pcap_t* p) { return calls().activate(p); }
const char* pcap_statustostr(int status) { return calls().statustostr(status); }
char* pcap_geterr(pcap_t* p) { return calls().geterr(p); }

int pcap_compile(pcap_t* p, struct bpf_program* fp, const char* text, int optimize, bpf_u_int32 mask)
{
    return calls().compile(p, fp, text, optimize, mask);
}

int pcap_setfilter(pcap_t* p, struct bpf_program* fp) { return calls().setfilter(p, fp); }
void pcap_freecode(struct bpf_program* fp) { calls().freecode(fp); }

int pcap_loop(pcap_t* p, int count, pcap_handler callback, u_char* user)
{
    return calls().loop(p, count, callback, user);
}

void pcap_breakloop(pcap_t* p) { calls().breakloop(p); }
int pcap_sendpacket(pcap_t* p, const u_char* buf, int size) { return calls().sendpacket(p, buf, size); }
void pcap_close(pcap_t* p) { calls().close(p); }

}  // extern "C"
