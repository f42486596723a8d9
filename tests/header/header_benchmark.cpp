// How long the conversions of header names take per call (not a test: run it by hand).
//   build/tests/header/header_benchmark
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <string>

#include "console/header/charset_conversion.h"
#include "console/header/name_parameter.h"
#include "console/header/nfc.h"

namespace {

using namespace dornick;

void Measure(const char* what, int rounds, const std::function<void()>& call) {
    call(); // first use opens what is cached
    // Processor time of this process: the machine is shared, so wall time would measure others too.
    const std::clock_t start = std::clock();
    for (int i = 0; i < rounds; ++i)
        call();
    const double nanoseconds = 1e9 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    std::printf("%-58s %10.0f ns/call\n", what, nanoseconds / rounds);
}

} // namespace

int main() {
    constexpr int kRounds = 20000;
    const std::string utf8 = "\xE8\xB3\x87\xE6\x96\x99\xE3\x81\xAE\xE4\xB8\x80\xE8\xA6\xA7.pdf";
    const std::string jis = "\x1B$B;qNA$N0lMw\x1B(B.pdf";
    const std::string sjis =
        "\x8E\x96\x8B\xC6\x8C\x76\x89\xE6\x8F\x91\x81\x69\x91\xE6\x82\x51\x94\xC5\x81\x6A.pdf";
    std::u16string out;

    Measure("ConvertToUnicode UTF-8 label", kRounds,
            [&] { ConvertToUnicode(utf8, out, u"UTF-8", 1, false); });
    Measure("ConvertToUnicode raw CharsetText \"iso-2022-jp\"", kRounds,
            [&] { ConvertToUnicode(jis, out, u"\"iso-2022-jp\"; format=f", 1, false); });
    Measure("ConvertToUnicode no label, detector, Japanese mail", kRounds,
            [&] { ConvertToUnicode(sjis, out, u"", 1, true); });
    Measure("ConvertToUnicode ASCII", kRounds,
            [&] { ConvertToUnicode("report-2026.pdf", out, u"", 1, false); });
    Measure("NormalizeNfc decomposed kana", kRounds, [&] {
        std::u16string name = u"\u30AB\u3099\u30A4\u30C8\u3099.pdf";
        NormalizeNfc(name);
    });

    const std::string mail =
        "Content-Type: application/pdf; name=\"=?ISO-2022-JP?B?GyRCO3FOQSROMGxNdxsoQi5wZGY=?=\"\r\n"
        "Content-Transfer-Encoding: base64\r\n";
    Measure("DecodeNameParameter B word through a LineCursor", kRounds, [&] {
        LineSource source;
        source.Start(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
        source.ReadNext();
        const HeaderReader reader{source, u""};
        std::u16string name;
        DecodeNameParameter(reader, name, false);
    });

    // What opening per call would cost, for comparison.
    Measure("baseline: ucnv_open + ucnv_toUChars + ucnv_close (UTF-8)", kRounds, [&] {
        UErrorCode status = U_ZERO_ERROR;
        UConverter* converter = ucnv_open("UTF-8", &status);
        UChar buffer[256];
        status = U_ZERO_ERROR;
        ucnv_toUChars(converter, buffer, 256, utf8.data(), static_cast<int32_t>(utf8.size()), &status);
        ucnv_close(converter);
    });
    Measure("baseline: ucnv_open + ucnv_close (ISO-2022-JP)", kRounds, [&] {
        UErrorCode status = U_ZERO_ERROR;
        ucnv_close(ucnv_open("ISO-2022-JP", &status));
    });
    Measure("baseline: ucsdet_open + detectAll + close", kRounds, [&] {
        UErrorCode status = U_ZERO_ERROR;
        UCharsetDetector* detector = ucsdet_open(&status);
        ucsdet_setText(detector, sjis.c_str(), -1, &status);
        int32_t count = 0;
        ucsdet_detectAll(detector, &count, &status);
        ucsdet_close(detector);
    });
    Measure("baseline: NFC filter built per call", 2000, [&] {
        UErrorCode status = U_ZERO_ERROR;
        const UNormalizer2* nfc = unorm2_getInstance(nullptr, "nfc", UNORM2_COMPOSE, &status);
        USet* set = uset_openPattern(u"[:Full_Composition_Exclusion=No:]", -1, &status);
        uset_freeze(set);
        UNormalizer2* filtered = unorm2_openFiltered(nfc, set, &status);
        const std::u16string name = u"\u30AB\u3099\u30A4\u30C8\u3099.pdf";
        UChar buffer[256];
        unorm2_normalize(filtered, name.data(), static_cast<int32_t>(name.size()), buffer, 256, &status);
        unorm2_close(filtered);
        uset_close(set);
    });
    return 0;
}
