#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "Environment.h"

using testsupport::getEnv;
using testsupport::ScopedEnv;

namespace {

const char kName[] = "MORV_SUPPORT_SCOPED";

// Every state a variable can be in: unset, set empty, set to text beyond
// ASCII. Set and empty must not come back as unset, nor the other way round.
const std::optional<std::string> kStates[] = {std::nullopt, std::string(""), std::string("J\xC3\xBCrgen \xE4\xB8\xAD")};

std::string name(const std::optional<std::string>& state) { return state ? "'" + *state + "'" : "unset"; }

TEST(ScopedEnv, SetsForTheScopeAndRestoresEveryState) {
    for (const auto& before : kStates) {
        for (const auto& during : kStates) {
            SCOPED_TRACE(name(before) + " -> " + name(during));
            ScopedEnv outer(kName, before);
            {
                ScopedEnv inner(kName, during);
                EXPECT_EQ(getEnv(kName), during);
                EXPECT_EQ(testsupport::currentEnvironment().count(kName), during ? 1u : 0u);
            }
            EXPECT_EQ(getEnv(kName), before);
        }
    }
    EXPECT_EQ(getEnv(kName), std::nullopt);
}

TEST(ScopedEnv, SeveralChangesOfOneNameRestoreTheFirstState) {
    ScopedEnv outer(kName, std::string("first"));
    {
        ScopedEnv env;
        env.set(kName, std::nullopt).set(kName, std::string("second")).set("MORV_SUPPORT_OTHER", std::string("x"));
        env.set(kName, std::string(""));
        EXPECT_EQ(getEnv(kName), std::string(""));
        EXPECT_EQ(getEnv("MORV_SUPPORT_OTHER"), std::string("x"));
    }
    EXPECT_EQ(getEnv(kName), std::string("first"));
    EXPECT_EQ(getEnv("MORV_SUPPORT_OTHER"), std::nullopt);
}

TEST(CurrentEnvironment, HoldsTheVariablesWithTheirValues) {
    ScopedEnv env;
    env.set(kName, std::string("a=b;c")).set("MORV_SUPPORT_EMPTY", std::string(""));
    const testsupport::Environment all = testsupport::currentEnvironment();
    ASSERT_EQ(all.count(kName), 1u);
    EXPECT_EQ(all.at(kName), "a=b;c");
    ASSERT_EQ(all.count("MORV_SUPPORT_EMPTY"), 1u);
    EXPECT_EQ(all.at("MORV_SUPPORT_EMPTY"), "");
    for (const auto& entry : all) {
        EXPECT_FALSE(entry.first.empty());
        EXPECT_EQ(entry.first.find('='), std::string::npos) << entry.first;
    }
}

} // namespace
