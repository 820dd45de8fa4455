// vd_search.h — the rules of the discovery responder, pure so that they can
// be checked and fuzzed without a network or a store: what a modify request
// changes, given what the camera holds.
#pragma once

#include "discovery.h"
#include "vddb.h"

// What a request is checked against and patches, as the store gave it.
struct ModifyRecords {
    NetworkRecord network;  // the record the request names
    const UserRecord* users;
    int user_count;
};

// Whether a user of that name and password may change settings: the whole
// stored texts compared, privilege 0 or 1.
bool user_may_modify(const UserRecord* users, int count, const char* name, const char* password);

// A raw modify request. A refused one changes nothing and applies nothing;
// an accepted one stores the port, the title if one was given and, last, the
// network record if it differs, then applies the wired settings again.
struct ModifyOutcome {
    int result;  // -1 refused, 0 accepted with the network record unchanged, 1 changed
    int http_port;
    const char* title;      // into the fields; null keeps the title
    NetworkRecord network;  // stored when result is 1
};
ModifyOutcome apply_modify(const discovery::RequestFields& fields, const ModifyRecords& records);

// A planet modify request: with the admin's password, the wired record in
// static mode with the new addresses (its first DNS server the gateway), the
// title if one was given, and the admin's new password if it differs.
struct PlanetOutcome {
    bool accepted;
    NetworkRecord network;                    // stored when accepted
    char title[discovery::planet::kNewTitle.size];  // empty keeps the title
    const char* password;                     // into the request; null keeps it
};
PlanetOutcome apply_planet_modify(const discovery::PlanetModify& request, const ModifyRecords& records);
