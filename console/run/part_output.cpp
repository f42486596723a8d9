#include "console/run/part_output.h"

#include <cerrno>
#include <functional>
#include <optional>

#include "console/decode/gzip64.h"
#include "console/decode/part_boundary.h"
#include "console/decode/writer_sink.h"
#include "console/header/unique_file_name.h"
#include "console/run/attached_mail.h"
#include "console/run/container_records.h"
#include "console/run/file_digest.h"
#include "console/run/mail_folders.h"
#include "console/run/mail_records.h"
#include "console/run/messages.h"
#include "console/run/msg_files.h"
#include "console/run/part_data.h"
#include "console/run/part_plan.h"
#include "console/run/publish_file.h"
#include "console/run/reported_calls.h"
#include "console/run/run_context.h"
#include "console/run/tnef_expand.h"
#include "platform/async_writer.h"
#include "platform/file_moves.h"
#include "platform/interrupt.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace dornick {
namespace {

constexpr int kCreateAttempts = 1201;

// Every failure of an output file ends the mail with its message and the log form.
void ReportFailure(MailState& mail, std::u16string_view screen, std::u16string_view log,
                   std::optional<std::u16string> shown = std::nullopt) {
    mail.output_failed = true;
    PrintErr(screen, {shown ? *shown : mail.part.part_name});
    if (mail.log_on) {
        LogAppendFormat(mail.log, log, {mail.part.part_name});
        LogAppend(mail.log, u"\r\n");
    }
}

void ReportWriteFailure(MailState& mail, SinkResult result) {
    if (result == SinkResult::NoMemory)
        ReportFailure(mail, u"メモリ確保に失敗しました。(7)\n->%s\n",
                      u"\t-> メモリ確保に失敗しました。(7)\r\n");
    else
        ReportFailure(mail, u"ファイルを書き込み中にエラーが発生しました。\n->%s\n",
                      u"\t-> ファイルを書き込み中にエラーが発生しました。\r\n");
}

// Creates the part's file, making its name unique again when another process took the name
// between the test and the creation. The file descriptor, or -1 after the message.
struct CreateFailure {
    std::u16string_view screen;
    std::u16string_view log;
};
constexpr CreateFailure kCreateFailed{u"ファイルを作成出来ませんでした。\n->%s\n",
                                      u"\t-> ファイルを作成出来ませんでした。->\"%s\"\r\n"};
// A BinHex block named by its own header says so with its own texts.
constexpr CreateFailure kBinHexCreateFailed{u"ファイルを作成出来ませんでした。。\n->%s\n",
                                            u"\t-> ファイルを作成出来ませんでした。。\r\n"};

// A name the file system refuses as such (characters it cannot store, a length it cannot hold).
bool NameRefused(int error) {
    return error == EINVAL || error == EILSEQ || error == ENAMETOOLONG;
}

// The name tried once more after such a refusal: only printable ASCII that every file system takes,
// each other character as "_".
std::u16string PlainName(std::u16string_view name) {
    std::u16string plain;
    for (char16_t c : name)
        plain.push_back(c >= 0x20 && c < 0x7F &&
                                std::u16string_view(u"\\/:*?\"<>|").find(c) == std::u16string_view::npos
                            ? c
                            : u'_');
    std::u16string none;
    FitToNameBytes(plain, none, 0);
    return plain;
}

// `overwrite` as MakeOutputFileName gives it; -1: the fitted name, not yet looked for, which the
// creation itself tests (a taken name is then replaced by a free one as usual).
// The name is claimed by its creation; an older file to be overwritten stays whole until the new
// one replaces it.
platform::StagedFile CreatePartFile(MailState& mail, std::u16string saved_name, int overwrite,
                                    const CreateFailure& failure = kCreateFailed) {
    const NameFolder names = OutputNames(mail);
    // The log's name is never created as such: it is looked for, and so counted.
    const auto look_first = [&] {
        if (overwrite < 0 && platform::U16ToUtf8(mail.part.part_name) == names.reserved)
            overwrite =
                MakeOutputFileName(names, mail.part.part_name, mail.part.content_type, mail.part.name_suffix);
    };
    look_first();
    bool renamed = false;
    for (int attempt = overwrite < 0 ? -1 : 0; attempt < kCreateAttempts; ++attempt) {
        int error = 0;
        platform::StagedFile file;
        // A file about to be replaced may be one whose record, and dedupe link, are still to be
        // made: they are made first.
        if (overwrite == 1) SettleRecords(*mail.run);
        const platform::CreateResult result =
            platform::ClaimFile(mail.output.Here(), mail.part.part_name, overwrite == 1, file, error);
        if (result == platform::CreateResult::Created) return file;
        if (result == platform::CreateResult::Failed && !renamed && NameRefused(error)) {
            renamed = true;
            saved_name = PlainName(saved_name);
            mail.part.part_name = PlainName(mail.part.part_name);
            overwrite = -1;
            look_first();
            continue;
        }
        if (result != platform::CreateResult::Exists) break;
        mail.part.part_name = saved_name;
        overwrite =
            MakeOutputFileName(names, mail.part.part_name, mail.part.content_type, mail.part.name_suffix);
    }
    ReportFailure(mail, failure.screen, failure.log);
    return {};
}

// Hands bytes on until the first refusal, then takes the rest of the part without keeping it, so
// that a failed file ends only itself and the walk reads on to the part's end.
struct FailureHoldingSink final : ByteSink {
    ByteSink& inner;
    SinkResult failure = SinkResult::Ok;

    explicit FailureHoldingSink(ByteSink& sink) : inner(sink) {}
    [[nodiscard]] SinkResult Append(const uint8_t* data, size_t size) override {
        if (failure == SinkResult::Ok) failure = inner.Append(data, size);
        // A run asked to stop does not read on.
        return failure != SinkResult::Ok && platform::Interrupted() ? failure : SinkResult::Ok;
    }
};

// Takes a part's data when its file could not be made.
struct DiscardSink final : ByteSink {
    [[nodiscard]] SinkResult Append(const uint8_t*, size_t) override { return SinkResult::Ok; }
};

// The once-per-file notice that a damaged file was repaired, with the file's full path.
RepairNoticeFn RepairNoticeFor(MailState& mail) {
    return [&mail] {
        NoteFileNotice(mail, "repaired");
        std::u16string path = platform::DisplayPath(OutputFolderPath(mail) + u"/" + mail.part.part_name);
        PrintErr(u"<<<<<<<<ファイル \"%s\" に修復処理を行いましたが、破損している可能性があります。\n",
                 {path});
        if (mail.log_on)
            LogAppendFormat(
                mail.log,
                u"<<<<<<<<ファイル \"%s\" に修復処理を行いましたが、破損している可能性があります。\r\n",
                {path});
    };
}

} // namespace

namespace {

// A mail without a date leaves the file's times as they are.
void DateFile(MailState& mail, const platform::StagedFile& file) {
    const int fd = file.Fd();
    if (!mail.facts.mail_epoch_known) {
        mail.facts.mail_epoch_known = true;
        std::time_t when;
        const platform::SystemTime& mail_time = mail.folder_names.mail_time;
        if (!mail_time.IsZero() && platform::JapanTimeToEpoch(mail_time, when)) mail.facts.mail_epoch = when;
    }
    if (mail.facts.mail_epoch) platform::SetFileTimes(fd, *mail.facts.mail_epoch);
}

// The run was asked to stop: the file is given up, and nothing of it stays.
bool AbandonIfInterrupted(platform::StagedFile& file) {
    if (!platform::StopRequested()) return false;
    platform::AbandonFile(file);
    return true;
}

// A duplicate that --dedupe skip drops: its bytes, never under its name, go, and its name is given
// back (also a name whose older file it was to replace).
void DropDuplicate(platform::StagedFile& file) {
    file.replaces = false;
    platform::AbandonFile(file);
}

// Expands the stored container into "(expand)" beside it, recording its files when the mail is
// recorded.
void ExpandContainer(MailState& mail) {
    const std::u16string here = OutputFolderPath(mail);
    std::optional<ContainerRecords> records;
    if (mail.record.on) records.emplace(RecordOwnerOf(mail), mail.record.part, mail.run->digest);
    const TnefPlace place{mail.output.Here(), here, &mail.run->listing, records ? &*records : nullptr,
                          records ? MailFolderBelowRoot(mail) : std::u16string_view()};
    (void)TnefExpandFile(place, mail.part.part_name, u"", mail.facts.charset, mail.part.content_type,
                         mail.facts.tnef_time.From(mail.facts.mail_epoch), mail.options->full_width,
                         mail.facts.japanese_mail);
}

PartEnd EndOf(DataEnd end) {
    return end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
}

// The line that names a created file, on screen with "/P" and in the log.
void AnnounceFile(MailState& mail) {
    if (mail.options->print) PrintOut(u"\t-> \"%s\"\n", {mail.part.part_name});
    if (mail.log_on) LogAppendFormat(mail.log, u"\t-> \"%s\"\r\n", {mail.part.part_name});
}

// Names the part's file, creates it and announces it: the file, or none after the message.
platform::StagedFile OpenPartFile(MailState& mail, const std::u16string& saved_name,
                                  std::u16string_view suffix, const CreateFailure& failure = kCreateFailed) {
    FitOutputFileName(mail.part.part_name, mail.part.content_type, suffix);
    IssueProgressLine(mail);
    platform::StagedFile file = CreatePartFile(mail, saved_name, -1, failure);
    if (file.claim) AnnounceFile(mail);
    return file;
}

void ReportBinHexFailure(MailState& mail, BinHexStatus status) {
    if (status == BinHexStatus::NoMemory) PrintErr(u"メモリ確保に失敗しました。(BinHex)\n");
    const std::u16string folder = OutputFolderPath(mail);
    const std::u16string path = mail.part.part_name.empty() ? folder : folder + u"/" + mail.part.part_name;
    ReportFailure(mail, u"binhexdecode内でエラーが発生しました。\n->%s\n",
                  u"\t-> binhexdecode内でエラーが発生しました。\r\n", platform::DisplayPath(path));
}

class FileWriter final : public PartWriter {
  public:
    PartEnd Write(MailState& mail) override;

  private:
    using Decode = std::function<DecodeOutput(ByteSink&)>;
    PartEnd WriteBinHex(MailState& mail, const std::u16string& saved_name, const NamingContext& naming);
    PartEnd Finish(MailState& mail, platform::StagedFile file, const std::u16string& saved_name,
                   const Decode& decode);
};

PartEnd FileWriter::Write(MailState& mail) {
    if (OpensUnsavedMessage(mail)) {
        NotePartStart(mail); // the files inside are recorded below this part
        return OpenUnsavedMessage(mail);
    }
    const NamingContext naming = NamingOf(mail);
    PartPlan plan = PlanPart(mail.part, naming);
    PrepareMailFolders(mail);
    mail.part.part_name = plan.name;
    const std::u16string saved_name = plan.name;
    // A stored message file (".msg") is expanded by the same call as a stored container; what the
    // file holds decides how.
    mail.part.is_tnef = plan.tnef || IsMessageFilePart(mail.part.content_type, plan.name);
    mail.part.mode = plan.mode;
    NotePartStart(mail);
    if (plan.kind->unnamed_part == NameSource::BlockHeader) return WriteBinHex(mail, saved_name, naming);
    NameFromBeginLine(plan, mail.source, naming);
    mail.part.part_name = plan.name;
    // Nothing is written without a name: the part's lines pass on like those of an unnamed part.
    if (mail.part.part_name.empty()) return PartEnd::NotWritten;
    // Nothing more is begun once the run is asked to stop.
    if (platform::StopRequested()) return PartEnd::Failed;
    platform::StagedFile file = OpenPartFile(mail, saved_name, mail.part.name_suffix);
    if (!file.claim) {
        // The part's data is read past, so that the walk goes on with the next part.
        DiscardSink discard;
        return EndOf(DecodePart(*plan.kind, mail.source, mail.multipart, mail.part, discard, [] {}).end);
    }
    return Finish(mail, std::move(file), saved_name, [&](ByteSink& sink) {
        return DecodePart(*plan.kind, mail.source, mail.multipart, mail.part, sink, RepairNoticeFor(mail));
    });
}

// A named BinHex part's file is made before its block is decoded; an unnamed one is named by the
// block's header once it is decoded.
PartEnd FileWriter::WriteBinHex(MailState& mail, const std::u16string& saved_name,
                                const NamingContext& naming) {
    if (platform::StopRequested()) return PartEnd::Failed;
    const bool named = !mail.part.part_name.empty();
    platform::StagedFile file =
        named ? OpenPartFile(mail, saved_name, mail.part.name_suffix) : platform::StagedFile();
    BinHexPart block = DecodeBinHexBlock(mail.source, mail.multipart);
    if (named && !file.claim) return EndOf(block.found ? DataEnd::BlockEnd : block.end);
    if (block.found && block.status != BinHexStatus::Ok) {
        // The file stays empty under its name, as a failed block has always left it.
        if (PublishCompleteFile(file) != 0) platform::AbandonFile(file);
        ReportBinHexFailure(mail, block.status);
        return PartEnd::Failed;
    }
    if (!named) {
        if (!block.found) return EndOf(block.end);
        mail.part.part_name = NameFromBlockHeader(block.file.name, naming);
        file = OpenPartFile(mail, mail.part.part_name, u"", kBinHexCreateFailed);
        if (!file.claim) return PartEnd::AtDataEnd;
    }
    return Finish(mail, std::move(file), saved_name, [&](ByteSink& sink) {
        DecodeOutput data;
        data.end = block.found ? DataEnd::BlockEnd : block.end;
        if (block.found) {
            data.sink_result = WriteDataFork(block.file, sink);
            if (data.sink_result != SinkResult::Ok) data.end = DataEnd::SinkFailed;
        }
        return data;
    });
}

// Decodes into the open file, waits for its writes, dates and closes it, and runs the follow-ups.
PartEnd FileWriter::Finish(MailState& mail, platform::StagedFile file, const std::u16string& saved_name,
                           const Decode& decode) {
    const RunOptions& options = *mail.options;
    platform::AsyncWriter& writer = mail.run->writer;
    // With records the writer hashes the bytes as it writes them.
    Sha256* digest = mail.record.on ? &mail.run->digest : nullptr;
    // A file that --dedupe skip may drop never has its bytes under its name before it is known to
    // stay: one write is held back, more go to the staged file.
    file.may_be_dropped = digest && mail.run->records->options().dedupe == DedupeMode::Skip;
    const bool may_be_dropped = file.may_be_dropped;
    // Otherwise the digest, and what follows from it, are left to the writer thread.
    const bool hash_later = digest && RecordsOnWriterThread(mail);
    writer.Begin(file, digest, hash_later);
    WriterSink writer_sink(writer);
    ByteSink& stored_sink = writer_sink;
    // An attached message's bytes are kept on their way to its file, to be opened once it is written.
    MailCapture attached(&stored_sink, AttachedMailHint(mail, mail.part.part_name));
    ByteSink& file_sink = attached.Keeping() ? static_cast<ByteSink&>(attached) : stored_sink;
    Gzip64Buffer compressed;
    FailureHoldingSink sink(mail.part.is_gzip64 ? static_cast<ByteSink&>(compressed) : file_sink);
    DecodeOutput data = decode(sink);
    if (data.end == DataEnd::SinkFailed) {
        data.end = DataEnd::EndOfData;
        if (sink.failure == SinkResult::Ok) sink.failure = data.sink_result;
    }
    if (mail.part.is_gzip64 && sink.failure == SinkResult::Ok) {
        uint64_t inflated = 0;
        if (InflateGzip64Part(compressed, file_sink, inflated) != 0) {
            (void)writer.Finish();
            (void)writer.WriteHeld();
            if (AbandonIfInterrupted(file)) return PartEnd::Failed;
            // What did inflate stays under the name, undated.
            if (PublishCompleteFile(file) != 0) platform::AbandonFile(file);
            ReportFailure(mail, u"gzipinflate内でエラーが発生しました。\n->%s\n",
                          u"\t-> gzipinflate内でエラーが発生しました。\r\n");
            return PartEnd::Failed;
        }
    }
    platform::WriteStatus finished = writer.Finish();
    if (AbandonIfInterrupted(file)) return PartEnd::Failed;
    std::string sha256;
    FileVerdict verdict;
    const uint64_t size = writer.total();
    if (sink.failure == SinkResult::Ok && finished == platform::WriteStatus::Ok) {
        // A file that may be dropped is looked up before it takes its name.
        if (may_be_dropped) {
            writer.Settle();
            sha256 = digest->HexDigest();
            verdict = JudgeFile(mail, mail.part.part_name, sha256);
        }
        if (verdict.drop) {
            writer.DropHeld();
            DropDuplicate(file);
        } else {
            finished = writer.WriteHeld();
        }
    }
    const bool complete = sink.failure == SinkResult::Ok && finished == platform::WriteStatus::Ok;
    int published = 0;
    if (complete && !verdict.drop) {
        // Dated while complete, before it takes its name.
        DateFile(mail, file);
        published = PublishCompleteFile(file);
    }
    if (!complete || published != 0) {
        // The failure ends this file only: its partial bytes do not stay under its name.
        platform::AbandonFile(file);
        ReportWriteFailure(mail, sink.failure != SinkResult::Ok ? sink.failure : SinkResult::WriteFailed);
        return EndOf(data.end);
    }
    file = {};
    mail.output_written = true;
    // The record follows on the writer thread once the digest is complete, or, for a file that
    // could have been dropped, now, with the verdict it had before it took its name. The
    // container's record comes before those of its files. A dropped duplicate is not expanded:
    // its files are those of its first copy.
    const std::u16string& original_name = saved_name.empty() ? mail.part.part_name : saved_name;
    if (hash_later)
        PublishFileAfterDigest(mail, mail.part.part_name, original_name, size);
    else if (digest)
        (void)PublishFile(mail, mail.part.part_name, original_name, size, sha256, verdict);
    if (mail.part.is_tnef && !verdict.drop) ExpandContainer(mail);

    if (data.wants_base64_redecode) {
        if (options.print) PrintOut(u"\t-> Base64で再デコードしています...\n");
        if (mail.log_on) LogAppend(mail.log, u"\t-> Base64で再デコードしています...\r\n");
        mail.part.part_name = saved_name;
        return PartEnd::Redecode;
    }
    OpenAttachedMail(mail, attached.Mail());
    return EndOf(data.end);
}

} // namespace

PartWriter& FilePartWriter() {
    static FileWriter writer;
    return writer;
}

} // namespace dornick
