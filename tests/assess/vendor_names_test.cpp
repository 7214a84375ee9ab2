// The built-in vendor name table and its lookup.
#include <gtest/gtest.h>

#include <cctype>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>
#include <unistd.h>

#include "assess/vendor_names.h"
#include "tests/support/run_command.h"

namespace
{

using testing_command::ReadFile;

const std::filesystem::path kSourceDir = PORTOLAN_SOURCE_DIR;
const char* const kUsbIds = "/usr/share/misc/usb.ids";

bool IsNameCharacter(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c != '\0' && std::strchr(" .,-&()/'+", c) != nullptr;
}

// The "Version:" of a usb.ids file, or the one a generated table names.
std::string FindVersion(const std::string& text, const std::string& marker)
{
    size_t at = text.find(marker);
    if (at == std::string::npos)
        return {};
    at += marker.size();
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    size_t end = at;
    while (end < text.size() && !isspace(static_cast<unsigned char>(text[end])))
        ++end;
    std::string word = text.substr(at, end - at);
    if (!word.empty() && word.back() == '.')
        word.pop_back();
    return word;
}

} // namespace

// Ascending IDs below a null terminator, each found by the lookup; names
// of 3 to 49 plain ASCII characters, none a placeholder made of the ID.
TEST(VendorNameTable, AscendsBelowItsTerminatorWithPlainNamesOf3To49Characters)
{
    EXPECT_EQ(VendorNameTable[kVendorNameCount].VendorId, 0);
    EXPECT_EQ(VendorNameTable[kVendorNameCount].Name, nullptr);
    size_t shortest = SIZE_MAX;
    size_t longest = 0;
    for (size_t i = 0; i < kVendorNameCount; ++i) {
        const VendorNameEntry& entry = VendorNameTable[i];
        EXPECT_TRUE(i == 0 || VendorNameTable[i - 1].VendorId < entry.VendorId) << "entry " << i;
        ASSERT_NE(entry.Name, nullptr) << std::hex << entry.VendorId;
        const size_t length = std::strlen(entry.Name);
        shortest = std::min(shortest, length);
        longest = std::max(longest, length);
        for (const char* c = entry.Name; *c != '\0'; ++c)
            EXPECT_TRUE(IsNameCharacter(*c)) << "'" << *c << "' in " << entry.Name;
        char placeholder[16];
        std::snprintf(placeholder, sizeof placeholder, "%04X", entry.VendorId);
        EXPECT_TRUE(entry.Name[0] != ' ' && entry.Name[length - 1] != ' ' && !std::strstr(entry.Name, "  ") &&
                    !std::strstr(entry.Name, placeholder) && std::strncmp(entry.Name, "Vendor ", 7) != 0)
            << "trimmed, no placeholder: " << entry.Name;
        EXPECT_EQ(LookupVendorName(entry.VendorId), entry.Name) << "found, and points into the table";
    }
    EXPECT_EQ(shortest, 3u);
    EXPECT_EQ(longest, 49u);
    // Fixed names, among them the longest, the shortest and ones usb.ids lacks.
    EXPECT_STREQ(LookupVendorName(0x065F), "Good Way Industrial Co, Ltd & GWC Technology Inc.");
    EXPECT_STREQ(LookupVendorName(0x0C39), "IFR");
    EXPECT_STREQ(LookupVendorName(0x046D), "Logitech Inc.");
    EXPECT_STREQ(LookupVendorName(0x0A45), "Look&Say co., Ltd.");
}

TEST(VendorNameLookup, IdsOutsideTheTableYieldNull)
{
    EXPECT_EQ(LookupVendorName(0), nullptr);
    EXPECT_EQ(LookupVendorName(0x03EA), nullptr); // between 0x03E9 and 0x03EB
    EXPECT_EQ(LookupVendorName(0x03E7), nullptr); // below the first
    EXPECT_EQ(LookupVendorName(0xFFFF), nullptr); // above the last
    EXPECT_EQ(LookupVendorName(0x1D6B), nullptr); // a known company, but not in the table
    EXPECT_EQ(LookupVendorName(0x1000), nullptr);
}

TEST(VendorNameGenerator, CommittedTableMatchesTheScript)
{
    if (!std::filesystem::exists(kUsbIds))
        GTEST_SKIP() << kUsbIds << " is not installed";
    if (std::system("python3 --version >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is not installed";

    const std::filesystem::path committed = kSourceDir / "assess" / "vendor_name_table.cpp";
    const std::string committedText = ReadFile(committed);
    ASSERT_FALSE(committedText.empty()) << committed;

    const std::string installed = FindVersion(ReadFile(kUsbIds), "# Version:");
    const std::string generatedFrom =
        FindVersion(committedText, "from usb.ids version");
    if (installed != generatedFrom)
    {
        GTEST_SKIP() << "installed usb.ids is version " << installed << ", the table was generated from "
                     << generatedFrom;
    }

    const std::filesystem::path output = std::filesystem::temp_directory_path() /
                                         ("portolan_vendor_table_" + std::to_string(getpid()) + ".cpp");
    const std::string command = "python3 '" + (kSourceDir / "tools" / "make_vendor_table.py").string() +
                                "' --usb-ids '" + kUsbIds + "' --output '" + output.string() + "'";
    const int status = std::system(command.c_str());
    const std::string generatedText = ReadFile(output);
    std::filesystem::remove(output);

    ASSERT_EQ(status, 0) << command;
    EXPECT_TRUE(generatedText == committedText)
        << "assess/vendor_name_table.cpp differs from what tools/make_vendor_table.py writes";
}
