// The packaged udev rule gives exactly the converters the library lists to
// group dialout with mode 0660.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "d2xx/linux/ftdi_chips.h"

namespace {

std::string RuleLine() {
    std::ifstream in(TORVANE_UDEV_RULE_FILE);
    EXPECT_TRUE(in) << TORVANE_UDEV_RULE_FILE;
    std::string line, rule;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        EXPECT_TRUE(rule.empty()) << "one rule expected, also: " << line;
        rule = line;
    }
    return rule;
}

std::string Match(const std::string& rule, const std::string& key) {
    const std::regex pattern(key + R"((==|=)\"([^\"]*)\")");
    std::smatch m;
    return std::regex_search(rule, m, pattern) ? m[2].str() : std::string("<absent>");
}

TEST(UdevRule, GivesFtdiSerialNodesToDialout) {
    const std::string rule = RuleLine();
    EXPECT_EQ(Match(rule, "SUBSYSTEM"), "tty");
    EXPECT_EQ(Match(rule, "KERNEL"), "ttyUSB[0-9]*");
    EXPECT_EQ(Match(rule, "ATTRS\\{idVendor\\}"), "0403");
    EXPECT_EQ(Match(rule, "GROUP"), "dialout");
    EXPECT_EQ(Match(rule, "MODE"), "0660");
}

TEST(UdevRule, ProductIdsAreThoseTheLibraryLists) {
    std::set<std::string> inRule;
    std::stringstream ids(Match(RuleLine(), "ATTRS\\{idProduct\\}"));
    for (std::string id; std::getline(ids, id, '|');) inRule.insert(id);
    std::set<std::string> listed;
    for (unsigned pid = 0; pid <= 0xFFFF; ++pid) {
        if (ftdi_linux::ChannelCount(static_cast<std::uint16_t>(pid)) == 0) continue;
        char text[8];
        std::snprintf(text, sizeof text, "%04x", pid);
        listed.insert(text);
    }
    EXPECT_EQ(inRule, listed);
}

}  // namespace
