#include "console/run/reported_calls.h"

#include "console/header/icu_objects.h"
#include "console/header/icu_retry.h"
#include "console/header/name_parameter.h"
#include "console/header/rfc2231_segments.h"
#include "console/header/unique_file_name.h"
#include "console/run/messages.h"

namespace dornick {
namespace {

void PrintIcuFailure(std::u16string_view message, const char* status_name) {
    PrintErr(message, {status_name});
}

// The header readers' ICU failures are printed by the run. This file is linked into every program
// and test that links the console's layers, so the reporter is in force before main.
[[maybe_unused]] const bool kIcuReporterInstalled = [] {
    DefaultIcuFailureReporter() = PrintIcuFailure;
    return true;
}();

const char16_t* Gzip64Message(Gzip64Failure failure) {
    switch (failure) {
    case Gzip64Failure::NoMemoryCollected:
        return u"メモリ確保に失敗しました。(gzip (1))\n";
    case Gzip64Failure::NoMemoryFullPiece:
        return u"メモリ確保に失敗しました。(gzip (3))\n";
    case Gzip64Failure::NoMemoryLastPiece:
        return u"メモリ確保に失敗しました。(gzip (5))\n";
    case Gzip64Failure::WriteFailed:
        return u"ファイルを書き込み中にエラーが発生しました。(gzip)\n";
    case Gzip64Failure::None:
    case Gzip64Failure::Damaged:
        break;
    }
    return nullptr;
}

} // namespace

int MakeOutputFileName(NameFolder folder, std::u16string& name, std::u16string_view mime_type,
                       std::u16string_view suffix) {
    const int overwrite = MakeUniqueFileName(folder, name, mime_type, suffix);
    if (overwrite == 1)
        PrintOut(u"同じファイル名のファイルが多くこれ以上退避出来ないため、\n\n%s\n\nに上書きします。\n",
                 {name});
    return overwrite;
}

NameParameter DecodePartName(const HeaderReader& reader, std::u16string& name, bool extended) {
    NameParameter result = DecodeNameParameter(reader, name, extended);
    if (result.status == kNameOutOfMemory) PrintErr(u"ファイル名取得用のメモリ確保に失敗しました。\n");
    if (result.status < 0) result.status = -1;
    return result;
}

int InflateGzip64Part(Gzip64Buffer& compressed, ByteSink& out, uint64_t& inflated_total) {
    const int result = Gzip64Inflate(compressed, out, inflated_total);
    if (result != 0)
        if (const char16_t* message = Gzip64Message(compressed.failure)) PrintErr(message);
    return result;
}

} // namespace dornick
