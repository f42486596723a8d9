#include "console/run/container_file.h"

#include <optional>

#include "console/decode/tnef_walk.h"
#include "console/run/container_records.h"
#include "console/run/file_records.h"
#include "console/run/tnef_expand.h"
#include "platform/archive_file.h"

namespace dornick {

int ExpandContainerFile(RunContext& run, const std::u16string& path, const RunOptions& options) {
    const std::u16string output = options.output_folder.empty() ? u"output" : options.output_folder;
    std::optional<ContainerRecords> records;
    uint64_t files = 0;
    RecordOwner owner;
    if (run.records && !options.date_mode) {
        owner.records = run.records;
        owner.root = run.FullPath(output);
        while (owner.root.size() > 1 && owner.root.back() == u'/')
            owner.root.pop_back();
        owner.source = run.FullPath(path);
        owner.mail_fields = kNoMailFields;
        owner.files = &files;
        // Only a container is passed over here: any other file's record is its mail's (or, in an
        // archive, its first message's).
        if (run.records->options().resume) {
            const std::string start = platform::ReadFileStart(owner.source, 4);
            if (HasTnefSignature(reinterpret_cast<const unsigned char*>(start.data()), start.size()) &&
                run.records->PassOver(owner.source, 1))
                return 1;
        }
        records.emplace(owner, "1", run.digest);
    }
    // Its paths are made full against the start folder, so no folder handle is needed.
    const int expanded = TnefExpandFile(
        {platform::kCurrentFolder, run.start_folder, &run.listing, records ? &*records : nullptr}, path,
        output, run.containers.charset, u"", run.containers.time, options.full_width, false);
    if (records && expanded != 0) RecordContainerMail(owner, expanded > 0);
    return expanded;
}

} // namespace dornick
