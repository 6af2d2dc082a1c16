#include "records/store_place.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <initializer_list>
#include <utility>

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

TEST(StorePlace, ShownWithoutItsPassword) {
    for (const auto& [given, shown] : std::initializer_list<std::pair<const char*, const char*>>{
             {"postgresql://u:pw@h:5432/db", "postgresql://u:***@h:5432/db"},
             {"postgres://u:p@ss@h/d?sslmode=require", "postgres://u:***@h/d?sslmode=require"},
             {"postgresql://h/db?user=u&password=x&sslmode=require",
              "postgresql://h/db?user=u&password=***&sslmode=require"},
             {"postgresql://u@h/db?mypassword=x", "postgresql://u@h/db?mypassword=x"},
             {"postgresql://h/a:b@c", "postgresql://h/a:b@c"},
             {"ft:232@desk.sqlite", "ft:232@desk.sqlite"}}) {
        EXPECT_EQ(shownPlace(given), shown) << given;
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
