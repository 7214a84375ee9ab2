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

// Every vendor ID of the table, in table order.
const char* const kTableIds =
    "03E8, 03E9, 03EB, 03EE, 03F0, 03F2, 03F3, 03F4, 03F9, 03FB, 03FE, 0400, 0402, 0403, 0404, 0405, "
    "0409, 040A, 040B, 040D, 040E, 0411, 0416, 041A, 041E, 0421, 0422, 0423, 0424, 0425, 0429, 042C, "
    "0430, 0432, 0436, 0438, 043D, 043E, 0440, 0443, 0445, 0446, 044E, 044F, 0451, 0452, 0456, 0457, "
    "045A, 045B, 045E, 0461, 0463, 0464, 0468, 046A, 046C, 046D, 046E, 0471, 0472, 0474, 0475, 047A, "
    "047B, 047D, 047E, 047F, 0482, 0483, 0488, 0489, 048D, 0491, 0492, 0496, 0497, 0499, 049B, 049F, "
    "04A4, 04A5, 04A8, 04A9, 04B1, 04B3, 04B4, 04B5, 04B7, 04B8, 04B9, 04BB, 04BF, 04C5, 04C8, 04CB, "
    "04CC, 04CE, 04CF, 04D4, 04D6, 04D7, 04D8, 04D9, 04DA, 04DD, 04DE, 04E6, 04E7, 04E8, 04E9, 04EA, "
    "04EB, 04EC, 04ED, 04F1, 04F2, 04F3, 04F7, 04F8, 04FA, 04FC, 04FD, 04FF, 0501, 0502, 0506, 0507, "
    "0509, 050D, 050F, 0510, 0514, 0516, 051C, 051D, 051F, 0522, 0525, 0526, 0528, 0529, 052A, 052B, "
    "052C, 0531, 0537, 0539, 053A, 053E, 053F, 0543, 0545, 0546, 054A, 054C, 0550, 0553, 0556, 0557, "
    "0559, 055D, 055E, 0562, 0563, 0564, 056A, 056C, 056E, 056F, 0571, 0572, 0573, 0575, 0576, 057B, "
    "057C, 057D, 057E, 0582, 0583, 0584, 0585, 058B, 058C, 058D, 058F, 0590, 0592, 0595, 0596, 0598, "
    "059B, 059D, 059E, 059F, 05A2, 05A3, 05A4, 05A6, 05A9, 05AB, 05AC, 05AD, 05B0, 05B4, 05BA, 05BD, "
    "05BE, 05C0, 05C1, 05C5, 05C6, 05C7, 05C8, 05CA, 05CB, 05CD, 05CE, 05CF, 05D0, 05D1, 05D8, 05D9, "
    "05DA, 05DB, 05DC, 05DD, 05E0, 05E3, 05E5, 05E6, 05E9, 05EF, 05F0, 05F3, 05F5, 05F7, 05F9, 05FD, "
    "05FE, 05FF, 0601, 0602, 0603, 0604, 0607, 0609, 060A, 060F, 0611, 0613, 0614, 0616, 0619, 061C, "
    "061D, 061E, 0620, 0621, 0623, 0624, 0626, 0629, 062B, 062D, 062E, 062F, 0634, 0636, 0638, 0640, "
    "0641, 0644, 0645, 064B, 064C, 064F, 0651, 0652, 0654, 0655, 0656, 0657, 065A, 065F, 0660, 0661, "
    "0663, 0669, 066A, 066F, 0672, 0674, 0675, 0676, 0678, 067B, 067C, 067E, 067F, 0680, 0681, 0686, "
    "068A, 0690, 0693, 0694, 0698, 0699, 069A, 069B, 069D, 06A2, 06A3, 06A5, 06A9, 06AA, 06AC, 06AE, "
    "06B8, 06B9, 06BA, 06BB, 06BC, 06BD, 06BF, 06C4, 06C8, 06CC, 06CD, 06D3, 06DA, 06DB, 06DC, 06DE, "
    "06E0, 06E4, 06E6, 06F2, 06FD, 0701, 0705, 0709, 070A, 070D, 0710, 0711, 0718, 0719, 071D, 0723, "
    "0726, 0731, 0733, 0734, 0738, 0746, 0748, 074C, 074D, 074E, 0757, 0764, 0765, 0768, 0769, 076A, "
    "076B, 076C, 076D, 0776, 0777, 0779, 077A, 077B, 077C, 0781, 0782, 0789, 078E, 0790, 0791, 0792, "
    "0793, 0794, 0795, 0796, 0797, 079D, 07A2, 07A3, 07A4, 07A6, 07AA, 07AB, 07B1, 07B3, 07B4, 07B5, "
    "07B6, 07B7, 07B8, 07BC, 07BE, 07C4, 07C5, 07C6, 07C7, 07C9, 07CB, 07CC, 07D3, 07D7, 07DA, 07DF, "
    "07E2, 07E3, 07E4, 07E5, 07E6, 07E8, 07EA, 07EB, 07EC, 07F7, 07F9, 0801, 0802, 0803, 0809, 080A, "
    "080D, 0810, 0813, 081E, 0822, 0826, 0827, 0828, 0829, 0830, 0832, 0833, 0835, 0839, 083A, 0846, "
    "084D, 0851, 0852, 0858, 0859, 085A, 086A, 086E, 086F, 0870, 0873, 0879, 087C, 087D, 087E, 0880, "
    "0892, 089D, 089E, 08AE, 08B4, 08B9, 08BB, 08BD, 08C4, 08C7, 08C8, 08CA, 08CE, 08D3, 08DD, 08DF, "
    "08E4, 08E5, 08E6, 08E8, 08E9, 08EA, 08EE, 08F0, 08F1, 08F5, 08F6, 08F8, 08FA, 08FB, 08FC, 08FD, "
    "08FF, 0901, 0906, 090A, 090B, 090C, 090D, 090E, 090F, 0910, 0911, 0912, 0915, 0917, 091E, 0921, "
    "0922, 0923, 0924, 0927, 0928, 0929, 092B, 0930, 0931, 0932, 0933, 0934, 0939, 093A, 093B, 093E, "
    "093F, 0940, 0941, 0942, 0943, 0945, 094D, 0951, 0954, 0955, 0956, 0957, 0958, 0959, 095A, 095B, "
    "095C, 095D, 0968, 0971, 0973, 0974, 0975, 0976, 0977, 0978, 0979, 097A, 097B, 097C, 097D, 097F, "
    "098C, 098D, 098E, 098F, 0996, 09A3, 09A4, 09A5, 09A6, 09A7, 09A8, 09A9, 09AA, 09B3, 09B4, 09B5, "
    "09C1, 09C2, 09C3, 09C4, 09C5, 09CC, 09CD, 09CE, 09CF, 09D1, 09D2, 09D3, 09D9, 09DA, 09DB, 09DC, "
    "09DD, 09DF, 09E5, 09E6, 09E7, 09E8, 09E9, 09F5, 09F6, 09F7, 09F8, 09F9, 09FA, 09FB, 09FF, 0A00, "
    "0A01, 0A0B, 0A11, 0A12, 0A13, 0A14, 0A15, 0A16, 0A17, 0A18, 0A19, 0A21, 0A22, 0A23, 0A39, 0A3A, "
    "0A3C, 0A3D, 0A43, 0A44, 0A45, 0A46, 0A47, 0A48, 0A4B, 0A4C, 0A4D, 0A4E, 0A4F, 0A50, 0A51, 0A52, "
    "0A53, 0A5A, 0A5B, 0A5C, 0A5D, 0A5E, 0A5F, 0A65, 0A66, 0A67, 0A68, 0A69, 0A6A, 0A6B, 0A6C, 0A6D, "
    "0A6E, 0A6F, 0A70, 0A71, 0A72, 0A7D, 0A7E, 0A7F, 0A80, 0A81, 0A82, 0A83, 0A84, 0A85, 0A86, 0A8C, "
    "0A8D, 0A8E, 0A8F, 0A90, 0A91, 0A92, 0A93, 0A94, 0AA3, 0AA4, 0AA5, 0AA6, 0AA7, 0AA8, 0AA9, 0AAA, "
    "0AAB, 0AAC, 0AAD, 0AAE, 0AAF, 0AB0, 0AC3, 0AC4, 0AC5, 0AC6, 0AC7, 0ACC, 0ACD, 0ACE, 0ACF, 0AD0, "
    "0AD1, 0AD2, 0AE3, 0AE4, 0AE5, 0AE6, 0AE7, 0AE8, 0AE9, 0AEA, 0AEB, 0AEC, 0AF6, 0AF7, 0AFC, 0AFD, "
    "0AFE, 0AFF, 0B00, 0B0E, 0B0F, 0B10, 0B11, 0B1E, 0B1F, 0B20, 0B21, 0B22, 0B23, 0B24, 0B27, 0B28, "
    "0B2C, 0B30, 0B33, 0B37, 0B39, 0B3A, 0B3B, 0B3C, 0B41, 0B47, 0B48, 0B49, 0B4E, 0B50, 0B52, 0B54, "
    "0B56, 0B57, 0B59, 0B5A, 0B5F, 0B60, 0B61, 0B62, 0B63, 0B64, 0B65, 0B69, 0B6A, 0B6F, 0B70, 0B71, "
    "0B72, 0B73, 0B79, 0B7A, 0B7B, 0B7C, 0B7D, 0B84, 0B85, 0B86, 0B87, 0B88, 0B89, 0B95, 0B96, 0B97, "
    "0B98, 0B99, 0B9D, 0B9F, 0BAF, 0BB0, 0BB1, 0BB2, 0BB3, 0BB4, 0BB5, 0BB6, 0BB7, 0BB8, 0BB9, 0BBA, "
    "0BBB, 0BBC, 0BBD, 0BC0, 0BC1, 0BC2, 0BC3, 0BC4, 0BC5, 0BC6, 0BC7, 0BC8, 0BC9, 0BCA, 0BCB, 0BDA, "
    "0BDB, 0BDC, 0BDD, 0BE2, 0BE3, 0BE4, 0BE5, 0BE6, 0BEE, 0BEF, 0BF0, 0BF1, 0BF2, 0BF7, 0BF8, 0C04, "
    "0C05, 0C06, 0C07, 0C08, 0C09, 0C0A, 0C0B, 0C15, 0C16, 0C17, 0C18, 0C19, 0C1A, 0C1B, 0C1C, 0C22, "
    "0C23, 0C25, 0C35, 0C36, 0C37, 0C38, 0C39, 0C3A, 0C3B, 0C3C, 0C3D, 0C3E, 0C44, 0C45, 0C52, 0C53, "
    "0C54, 0C55, 0C56, 0C57, 0C58, 0C5A, 1004, 10AC, 1190, 120E, 1568, 1606, 1608, 1668, 1696, 1EBB, "
    "22B8, 22BA, 2304, 2899, 3636, 3923, 413C, 5543, 55AA, 636C, 6A75, 8086 ";

} // namespace

TEST(VendorNameTable, HoldsExactlyTheListedIdsInOrder)
{
    std::vector<uint16_t> listed;
    std::istringstream words(kTableIds);
    std::string word;
    while (std::getline(words, word, ','))
        listed.push_back(static_cast<uint16_t>(std::stoul(word, nullptr, 16)));
    ASSERT_EQ(listed.size(), kVendorNameCount);
    for (size_t i = 0; i < kVendorNameCount; ++i)
        EXPECT_EQ(VendorNameTable[i].VendorId, listed[i]) << "entry " << i;
}

TEST(VendorNameTable, NamesEveryCompanyWithoutPlaceholders)
{
    for (size_t i = 0; i < kVendorNameCount; ++i)
    {
        const char* name = VendorNameTable[i].Name;
        ASSERT_NE(name, nullptr);
        char placeholder[16];
        std::snprintf(placeholder, sizeof placeholder, "%04X", VendorNameTable[i].VendorId);
        EXPECT_EQ(std::strstr(name, placeholder), nullptr) << name;
        EXPECT_NE(std::strncmp(name, "Vendor ", 7), 0) << name;
    }
    // Names that usb.ids lacks, from the USB-IF list.
    EXPECT_STREQ(LookupVendorName(0x0A23), "NDS Technologies Israel Ltd.");
    EXPECT_STREQ(LookupVendorName(0x0A45), "Look&Say co., Ltd.");
    EXPECT_STREQ(LookupVendorName(0x0AE6), "EVI, Inc.");
}

TEST(VendorNameTable, HasTheCountThenTheTerminator)
{
    for (size_t i = 0; i < kVendorNameCount; ++i)
        ASSERT_NE(VendorNameTable[i].VendorId, 0) << "entry " << i;
    EXPECT_EQ(VendorNameTable[kVendorNameCount].VendorId, 0);
    EXPECT_EQ(VendorNameTable[kVendorNameCount].Name, nullptr);
}

TEST(VendorNameTable, IdsStrictlyAscendFromFirstToLast)
{
    EXPECT_EQ(VendorNameTable[0].VendorId, 0x03E8);
    EXPECT_EQ(VendorNameTable[kVendorNameCount - 1].VendorId, 0x8086);
    for (size_t i = 1; i < kVendorNameCount; ++i)
    {
        EXPECT_LT(VendorNameTable[i - 1].VendorId, VendorNameTable[i].VendorId)
            << "entries " << i - 1 << " and " << i;
    }
}

TEST(VendorNameTable, SplitsAt0x1000Into870And22)
{
    size_t below = 0;
    for (size_t i = 0; i < kVendorNameCount; ++i)
        below += VendorNameTable[i].VendorId < 0x1000 ? 1 : 0;
    EXPECT_EQ(below, 870u);
    EXPECT_EQ(kVendorNameCount - below, 22u);
}

TEST(VendorNameTable, NamesArePlainAsciiOf3To49Characters)
{
    size_t shortest = SIZE_MAX;
    size_t longest = 0;
    for (size_t i = 0; i < kVendorNameCount; ++i)
    {
        const VendorNameEntry& entry = VendorNameTable[i];
        ASSERT_NE(entry.Name, nullptr) << std::hex << entry.VendorId;
        const size_t length = std::strlen(entry.Name);
        EXPECT_GE(length, 3u) << entry.Name;
        EXPECT_LE(length, 49u) << entry.Name;
        shortest = std::min(shortest, length);
        longest = std::max(longest, length);
        for (const char* c = entry.Name; *c != '\0'; ++c)
            EXPECT_TRUE(IsNameCharacter(*c)) << "'" << *c << "' in " << entry.Name;
        EXPECT_NE(entry.Name[0], ' ') << entry.Name;
        EXPECT_NE(entry.Name[length - 1], ' ') << entry.Name;
        EXPECT_EQ(std::strstr(entry.Name, "  "), nullptr) << entry.Name;
    }
    EXPECT_EQ(shortest, 3u);
    EXPECT_EQ(longest, 49u);
}

TEST(VendorNameTable, CarriesTheFixedNames)
{
    const struct
    {
        uint16_t vendorId;
        const char* name;
    } fixed[] = {
        {0x03E8, "EndPoints Inc."},
        {0x03EB, "Atmel Corporation"},
        {0x0403, "Future Technology Devices International Limited"},
        {0x045E, "Microsoft Corporation"},
        {0x046D, "Logitech Inc."},
        {0x04B4, "Cypress Semiconductor"},
        {0x05AC, "Apple Computer"},
        {0x065F, "Good Way Industrial Co, Ltd & GWC Technology Inc."},
        {0x0781, "SanDisk Corporation"},
        {0x0951, "Kingston Technology Company"},
        {0x0C39, "IFR"},
        {0x8086, "Intel Corporation"},
    };
    for (const auto& row : fixed)
    {
        const char* name = LookupVendorName(row.vendorId);
        ASSERT_NE(name, nullptr) << std::hex << row.vendorId;
        EXPECT_STREQ(name, row.name);
    }
    EXPECT_EQ(std::strlen(LookupVendorName(0x065F)), 49u);
    EXPECT_EQ(std::strlen(LookupVendorName(0x0C39)), 3u);
}

TEST(VendorNameLookup, ZeroYieldsNull)
{
    EXPECT_EQ(LookupVendorName(0), nullptr);
}

TEST(VendorNameLookup, FirstAndLastEntriesAreFound)
{
    EXPECT_STREQ(LookupVendorName(0x03E8), "EndPoints Inc.");
    EXPECT_STREQ(LookupVendorName(0x8086), "Intel Corporation");
}

TEST(VendorNameLookup, IdsOutsideTheTableYieldNull)
{
    EXPECT_EQ(LookupVendorName(0x03EA), nullptr); // between 0x03E9 and 0x03EB
    EXPECT_EQ(LookupVendorName(0x03E7), nullptr); // below the first
    EXPECT_EQ(LookupVendorName(0xFFFF), nullptr); // above the last
    EXPECT_EQ(LookupVendorName(0x1D6B), nullptr); // a known company, but not in the table
    EXPECT_EQ(LookupVendorName(0x1000), nullptr);
}

TEST(VendorNameLookup, EveryEntryIsFoundAndPointsIntoTheTable)
{
    for (size_t i = 0; i < kVendorNameCount; ++i)
    {
        EXPECT_EQ(LookupVendorName(VendorNameTable[i].VendorId), VendorNameTable[i].Name)
            << std::hex << VendorNameTable[i].VendorId;
    }
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
