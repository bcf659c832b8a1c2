#include "host/resource_store.h"

#include <gtest/gtest.h>

#include "dispatch/host_call_records.h"
#include "probe_host.h"

namespace Vorn::Host {
namespace {

using Testing::Json;
using Testing::JsonOf;

TEST(ResourceStore, GetAnswersTheStoredValueOrNotFound) {
    ResourceStore store;
    store.Set("/a/b", Json(R"({"k":[1,2]})"));
    Answer found = store.Serve(kHostMethodGet, "/a/b", nullptr);
    EXPECT_FALSE(found.error);
    EXPECT_EQ(JsonOf(&found.body), R"({"k":[1,2]})");

    for (const char* path : {"/a/b/", "/a", "/a/b?x=1"}) {
        Answer absent = store.Serve(kHostMethodGet, path, nullptr);
        ASSERT_TRUE(absent.error) << path;
        EXPECT_EQ(*absent.error, "Not found");
        EXPECT_EQ(absent.status, 404u);
    }
    EXPECT_TRUE(store.Serve(kHostMethodHead, "/a/b", nullptr).body.IsEmpty());
    EXPECT_EQ(store.Serve(kHostMethodHead, "/x", nullptr).status, 404u);
}

TEST(ResourceStore, PatchMergesStructuresMemberByMemberAndReplacesAnythingElse) {
    struct Case {
        const char* description;
        const char* stored;  // null: absent
        const char* patch;
        const char* expected;
    };
    const Case cases[] = {
        {"nested members are merged", R"({"a":1,"b":{"x":1,"y":{"p":1}}})", R"({"b":{"y":{"q":2}}})",
         R"({"a":1,"b":{"x":1,"y":{"p":1,"q":2}}})"},
        {"a member is replaced", R"({"a":1,"b":2})", R"({"b":"two"})", R"({"a":1,"b":"two"})"},
        {"collections are replaced, not merged", R"({"a":[1,2,3]})", R"({"a":[9]})", R"({"a":[9]})"},
        {"a structure replaces a scalar", R"({"a":5})", R"({"a":{"x":1}})", R"({"a":{"x":1}})"},
        {"a scalar replaces a structure", R"({"a":{"x":1}})", R"({"a":false})", R"({"a":false})"},
        {"null replaces rather than removes", R"({"a":1,"b":2})", R"({"a":null})", R"({"a":null,"b":2})"},
        {"a non-structure patch replaces all", R"({"a":1})", "[1]", "[1]"},
        {"a structure patch replaces a scalar resource", "7", R"({"a":1})", R"({"a":1})"},
        {"an absent resource becomes the patch", nullptr, R"({"a":{"x":1}})", R"({"a":{"x":1}})"},
    };
    for (const Case& c : cases) {
        ResourceStore store;
        if (c.stored != nullptr) store.Set("/r", Json(c.stored));
        const BindingProperty patch = Json(c.patch);
        Answer answer = store.Serve(kHostMethodPatch, "/r", &patch);
        EXPECT_FALSE(answer.error) << c.description;
        EXPECT_TRUE(answer.body.IsEmpty()) << c.description;
        EXPECT_EQ(JsonOf(store.Find("/r")), c.expected) << c.description;
    }
}

TEST(ResourceStore, PatchWithoutAValueChangesAndCreatesNothing) {
    ResourceStore store;
    store.Set("/r", Json(R"({"a":1})"));
    EXPECT_FALSE(store.Serve(kHostMethodPatch, "/r", nullptr).error);
    EXPECT_FALSE(store.Serve(kHostMethodPatch, "/absent", nullptr).error);
    EXPECT_EQ(JsonOf(store.Find("/r")), R"({"a":1})");
    EXPECT_EQ(store.Find("/absent"), nullptr);
}

TEST(ResourceStore, PutReplacesDeleteRemovesPostAndOptionsChangeNothing) {
    ResourceStore store;
    store.Set("/r", Json(R"({"a":1,"b":2})"));
    const BindingProperty value = Json(R"({"c":3})");
    EXPECT_FALSE(store.Serve(kHostMethodPut, "/r", &value).error);
    EXPECT_EQ(JsonOf(store.Find("/r")), R"({"c":3})");
    EXPECT_FALSE(store.Serve(kHostMethodPut, "/new", &value).error);
    EXPECT_EQ(JsonOf(store.Find("/new")), R"({"c":3})");

    EXPECT_FALSE(store.Serve(kHostMethodPost, "/posted", &value).error);
    EXPECT_FALSE(store.Serve(kHostMethodOptions, "/posted", nullptr).error);
    EXPECT_EQ(store.Find("/posted"), nullptr);

    EXPECT_FALSE(store.Serve(kHostMethodDelete, "/r", nullptr).error);
    EXPECT_EQ(store.Find("/r"), nullptr);
    EXPECT_FALSE(store.Serve(kHostMethodDelete, "/r", nullptr).error) << "deleting an absent resource succeeds";
}

TEST(ResourceStore, MethodsWithoutAMeaningAreNotAllowed) {
    ResourceStore store;
    store.Set("/r", Json("1"));
    for (uint32_t method : {uint32_t{kHostMethodAny}, uint32_t{kHostMethodCustom}, uint32_t{99}}) {
        Answer answer = store.Serve(method, "/r", nullptr);
        ASSERT_TRUE(answer.error) << method;
        EXPECT_EQ(*answer.error, "Method not allowed");
        EXPECT_EQ(answer.status, 405u);
    }
    EXPECT_EQ(JsonOf(store.Find("/r")), "1");
}

TEST(EventNameForPath, JoinsTheFirstSegmentsWithTheEventPrefix) {
    struct Case {
        const char* path;
        const char* name;
    };
    const Case cases[] = {
        {"/qel-gameflow/v1/session", "OnJsonApiEvent_qel-gameflow_v1_session"},
        {"/player-notifications/v1/notifications/*", "OnJsonApiEvent_player-notifications_v1_notifications"},
        {"/a/b/c/d/e", "OnJsonApiEvent_a_b_c"},
        {"/qel-platform-config/v1/namespaces/FeaturedModes", "OnJsonApiEvent_qel-platform-config_v1_namespaces_FeaturedModes"},
        {"/qel-platform-config/v1/namespaces/A/B/C", "OnJsonApiEvent_qel-platform-config_v1_namespaces_A_B"},
        {"/x/qel-platform-config/a/b/c", "OnJsonApiEvent_x_qel-platform-config_a"},
        {"//a///b/", "OnJsonApiEvent_a_b"},
        {"no-slash", "OnJsonApiEvent_no-slash"},
        {"/", "OnJsonApiEvent"},
        {"", "OnJsonApiEvent"},
    };
    for (const Case& c : cases) EXPECT_EQ(SimulatedHost::EventNameForPath(c.path), c.name) << c.path;
}

}  // namespace
}  // namespace Vorn::Host
