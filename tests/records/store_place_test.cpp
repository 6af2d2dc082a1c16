#include "records/store_place.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(StorePlace, WhatRecordsNames) {
    struct Case {
        const char* given;
        StorePlaceKind kind;
    };
    for (const Case& c :
         {Case{"none", StorePlaceKind::none}, Case{"postgresql://line/db", StorePlaceKind::server},
          Case{"postgres://u@h:5/d", StorePlaceKind::server}, Case{"None", StorePlaceKind::file},
          Case{"./postgres://x", StorePlaceKind::file}, Case{"a;b\"c.sqlite", StorePlaceKind::file}}) {
        const StorePlace place = storePlaceOf(c.given);
        EXPECT_EQ(place.kind, c.kind) << c.given;
        EXPECT_EQ(place.where, c.kind == StorePlaceKind::none ? "" : c.given) << c.given;
    }
}

#ifndef _WIN32
TEST(StorePlace, DefaultFileFollowsStateHomeButNotARelativeOne) {
    ::setenv("HOME", "/home/tech", 1);
    ::setenv("XDG_STATE_HOME", "/var/state", 1);
    EXPECT_EQ(storePlaceOf("").where, "/var/state/orvane/records.sqlite");
    ::setenv("XDG_STATE_HOME", "state", 1);
    EXPECT_EQ(storePlaceOf("").where, "/home/tech/.local/state/orvane/records.sqlite");
    ::unsetenv("XDG_STATE_HOME");
    EXPECT_EQ(storePlaceOf("").where, "/home/tech/.local/state/orvane/records.sqlite");
}
#endif

} // namespace
} // namespace orvane
