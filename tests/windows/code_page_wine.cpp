// Under wine64: the simulated code page converts every UTF-16 code unit as
// the real WideCharToMultiByte does for code page 1252 with no flags and no
// default character, and so does the product's own ANSI conversion where
// the ANSI code page is 1252.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "sim/sim_code_page.h"
#include "tests/windows/check_lines.h"
#include "usb/win32_code_page.h"

int main()
{
    Cp1252CodePage simulated;
    Win32AnsiCodePage product;
    const bool acp1252 = GetACP() == 1252;
    int mismatches = 0;
    int productMismatches = 0;
    int bestFits = 0;
    for (unsigned value = 0; value <= 0xFFFF; ++value) {
        const WCHAR unit = static_cast<WCHAR>(value);
        char real[4] = {};
        const int realBytes = WideCharToMultiByte(1252, 0, &unit, 1, real, sizeof(real), nullptr, nullptr);
        char native[4] = {};
        const WideChar wide = static_cast<WideChar>(value);
        const int nativeBytes = simulated.FromWide(&wide, 1, native, sizeof(native));
        if (realBytes != nativeBytes || real[0] != native[0]) {
            if (++mismatches <= 10)
                std::printf("     U+%04X: WideCharToMultiByte %d byte(s) 0x%02X, simulated %d byte(s) 0x%02X\n", value,
                            realBytes, static_cast<unsigned char>(real[0]), nativeBytes,
                            static_cast<unsigned char>(native[0]));
        }
        if (value >= 0x100 && realBytes == 1 && real[0] != '?')
            ++bestFits;
        if (acp1252) {
            char mine[4] = {};
            if (product.FromWide(&wide, 1, mine, sizeof(mine)) != realBytes || mine[0] != real[0])
                ++productMismatches;
        }
    }
    std::printf("     %d units above U+00FF have a byte of their own or a best fit; ANSI code page %u\n", bestFits,
                GetACP());
    Check(mismatches == 0, "all 65,536 code units convert as WideCharToMultiByte(1252) does");
    Check(bestFits > 400, "the best-fit table is in use (U+0100 and the like)");
    if (acp1252)
        Check(productMismatches == 0, "the product's CP_ACP conversion agrees for every unit");

    // Whole texts, the length asked first as WideToAnsi does.
    const WCHAR text[] = L"Ger\x00E4t \x0141\x00F3d\x017A \x20AC\x2122 \x4E2D";
    char real[64] = {};
    char native[64] = {};
    const int realSize = WideCharToMultiByte(1252, 0, text, -1, nullptr, 0, nullptr, nullptr);
    WideCharToMultiByte(1252, 0, text, -1, real, sizeof(real), nullptr, nullptr);
    const int nativeSize = simulated.FromWide(reinterpret_cast<const WideChar*>(text), -1, nullptr, 0);
    simulated.FromWide(reinterpret_cast<const WideChar*>(text), -1, native, sizeof(native));
    Check(realSize == nativeSize && std::memcmp(real, native, sizeof(real)) == 0,
          "a text with best fits converts to the same bytes and size");

    return CheckSummary("code page");
}
