// The simulated ANSI code page converts as WideCharToMultiByte(1252, 0)
// does: its own byte, a best fit, or '?'.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "sim/sim_code_page.h"
#include "tests/support/run_command.h"

namespace {

using testing_command::ReadFile;

const std::filesystem::path kSourceDir = PORTOLAN_SOURCE_DIR;
constexpr char kWineNls[] = "/usr/share/wine/nls/c_1252.nls";

}  // namespace

TEST(Cp1252, UnitsOfTheCodePageBestFitsAndTheRest)
{
    struct Case {
        char16_t unit;
        unsigned char byte;
    } cases[] = {
        {u'A', 'A'},     {0x00E4, 0xE4},  {0x00FF, 0xFF},  {0x20AC, 0x80},  {0x2122, 0x99}, {0x0178, 0x9F},
        {0x0081, 0x81},  {0x009D, 0x9D},  {0x0080, '?'},   {0x009F, '?'},   // units of bytes that mean other characters
        {0x0100, 'A'},   {0x0107, 'c'},   {0x2013, 0x96},  {0xFF21, 'A'},   {0xFF5E, '~'},  // best fits
        {0x4E00, '?'},   {0xD800, '?'},   {0xFFFD, '?'},   {0xFFFF, '?'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<unsigned char>(Cp1252FromUnit(c.unit)), c.byte) << std::hex << int(c.unit);

    Cp1252CodePage codePage;
    const WideChar text[] = {0x0100, 0x0141, 'x', 0x4E00, 0};
    char out[8] = {};
    EXPECT_EQ(codePage.FromWide(text, -1, out, sizeof(out)), 5);
    EXPECT_STREQ(out, "ALx?");
}

TEST(Cp1252, CommittedTableMatchesTheScript)
{
    if (!std::filesystem::exists(kWineNls))
        GTEST_SKIP() << kWineNls << " is not installed (package wine64)";
    const std::filesystem::path output =
        std::filesystem::temp_directory_path() / ("portolan_cp1252_" + std::to_string(getpid()) + ".cpp");
    const std::string command = "python3 '" + (kSourceDir / "tools" / "make_cp1252_table.py").string() +
                                "' --nls '" + kWineNls + "' --output '" + output.string() + "' >/dev/null";
    const int status = std::system(command.c_str());
    const std::string generated = ReadFile(output);
    std::filesystem::remove(output);
    ASSERT_EQ(status, 0) << command;
    EXPECT_TRUE(generated == ReadFile(kSourceDir / "sim" / "cp1252_best_fit_table.cpp"))
        << "sim/cp1252_best_fit_table.cpp differs from what tools/make_cp1252_table.py writes";
}
