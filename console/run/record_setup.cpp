#include "console/run/record_setup.h"

#include <algorithm>

#include "console/run/messages.h"
#include "console/run/record_json.h"
#include "console/run/run_context.h"
#include "platform/paths.h"

namespace dornick {
namespace {

// The output roots the file steps of the command write into.
std::vector<std::u16string> RootsOf(const RunContext& run, const Command& command) {
    std::vector<std::u16string> roots;
    std::u16string folder;
    for (const CommandStep& step : command.steps) {
        if (step.kind == CommandStep::Kind::OutputFolder) folder = step.value;
        if (step.kind != CommandStep::Kind::File && step.kind != CommandStep::Kind::StandardInput) continue;
        std::u16string root = run.FullPath(folder.empty() ? u"output" : folder);
        while (root.size() > 1 && root.back() == u'/')
            root.pop_back();
        if (std::find(roots.begin(), roots.end(), root) == roots.end()) roots.push_back(root);
    }
    return roots;
}

} // namespace

bool TakeRecordOption(RecordOptions& records, std::u16string_view name, std::u16string_view value) {
    if (name == u"manifest") {
        if (value.empty()) return false;
        records.manifest = value;
        return true;
    }
    if (value == u"link")
        records.dedupe = DedupeMode::Link;
    else if (value == u"skip")
        records.dedupe = DedupeMode::Skip;
    else
        return false;
    return true;
}

bool OpenRecords(const RunContext& run, const Command& command, RunRecords& records) {
    if (command.records.manifest.empty()) return true;
    const std::u16string path = run.FullPath(command.records.manifest);
    switch (records.OpenManifest(path)) {
    case ManifestOpen::Ok:
        break;
    case ManifestOpen::CannotOpen:
        PrintErr(u"マニフェストを開けませんでした。\n->%s\n", {platform::DisplayPath(path)});
        return false;
    case ManifestOpen::NotManifest:
        PrintErr(u"マニフェストの形式ではありません。\n->%s\n", {platform::DisplayPath(path)});
        return false;
    }
    const std::vector<std::u16string> other = records.OtherRoots(RootsOf(run, command));
    if (other.empty()) return true;
    PrintErr(u"マニフェストは別の出力先のものです。\n->%s\n->%s\n",
             {platform::DisplayPath(path), platform::DisplayPath(other.front())});
    return false;
}

std::string RunRecordText(const RunRecords& records, const Command& command,
                          const platform::WriteTally& written, int exit_status) {
    std::string out = "{\"type\":\"run\",\"mails_done\":" + std::to_string(records.mails_done) +
                      ",\"mails_failed\":" + std::to_string(records.mails_failed) +
                      ",\"passed_over\":" + std::to_string(records.passed_over) +
                      ",\"files\":" + std::to_string(records.files.load()) +
                      ",\"duplicates\":" + std::to_string(records.duplicates.load()) +
                      ",\"bytes_written\":" + std::to_string(written.bytes) +
                      ",\"exit_status\":" + std::to_string(exit_status) + ",\"options\":{\"dedupe\":";
    const DedupeMode dedupe = command.records.dedupe;
    out += dedupe == DedupeMode::Link ? "\"link\"" : dedupe == DedupeMode::Skip ? "\"skip\"" : "null";
    out += std::string(",\"resume\":") + (command.records.resume ? "true" : "false") + ",\"arguments\":[";
    for (size_t i = 0; i < command.arguments.size(); ++i) {
        if (i) out += ",";
        AppendJsonString(out, command.arguments[i]);
    }
    out += "]}}";
    return out;
}

} // namespace dornick
