#include "console/run/mbox_jobs.h"

#include <deque>
#include <memory>
#include <utility>

#include "console/run/mail_file.h"
#include "console/run/mail_jobs.h"
#include "console/run/run_context.h"
#include "platform/console.h"
#include "platform/interrupt.h"

namespace dornick {
namespace {

// A message larger than this is done at its turn on the committer's thread, so that the messages
// in flight stay a few MiB each; before more than kMostBytesInFlight would wait, the first ones
// are committed.
constexpr uint64_t kLargestHandedMessage = uint64_t{16} << 20;
constexpr uint64_t kMostBytesInFlight = uint64_t{64} << 20;

// A message taken over from the archive's reader, for a worker to do.
struct HeldMessage {
    MessageBytes bytes;
    std::string envelope_date;
    ArchiveMail mail;
};

} // namespace

bool RunMboxWithWorkers(RunContext& run, MboxTurn& turn, std::u16string_view path, std::u16string_view shown,
                        const RunOptions& options, ArchiveTally& tally) {
    MailWorkers& workers = turn.workers;
    // The folders of the mails after this archive were taken away for its turn; from here on the
    // workers may make folders again, each mail's ordered by its place.
    turn.held.unlock();
    struct InFlight {
        MailJob* job;
        uint64_t size;
    };
    std::deque<InFlight> in_flight;
    uint64_t bytes_in_flight = 0;
    bool failed = false;
    bool stopped = false;
    // The first message in flight at its turn: committed, or let go once the run was stopped.
    const auto commit_first = [&] {
        const InFlight first = in_flight.front();
        in_flight.pop_front();
        bytes_in_flight -= first.size;
        if (stopped) {
            workers.Discard(*first.job);
            return;
        }
        MailResult result = MailResult::Failed;
        if (!workers.Commit(run, *first.job, result)) {
            stopped = true; // never begun: the run was stopped before it
            return;
        }
        if (result == MailResult::Failed) {
            ++tally.failed;
            failed = true;
        }
        platform::ConsoleFlush();
        // The mail whose turn it was is done as far as it got; nothing after it is.
        if (platform::StopRequested()) stopped = true;
    };
    const auto settle = [&] {
        while (!in_flight.empty())
            commit_first();
    };
    const auto handler = [&](const ArchiveMail& mail) {
        if (stopped) return true;
        const uint64_t sequence = MessageSequence(turn.sequence, mail.number);
        if (mail.bytes == nullptr || mail.size > kLargestHandedMessage) {
            settle();
            const auto held = workers.HoldFolders();
            workers.BeforeTurnHere(sequence);
            const bool ok = ProcessArchiveMail(run, mail, options) == MailResult::Done;
            platform::ConsoleFlush();
            return ok;
        }
        while (!in_flight.empty() &&
               (in_flight.size() >= workers.Window() || bytes_in_flight + mail.size > kMostBytesInFlight))
            commit_first();
        auto held = std::make_shared<HeldMessage>();
        held->bytes = std::move(*mail.bytes); // the storage moves along: `mail.data` stays valid
        held->envelope_date = std::string(mail.envelope_date);
        held->mail = mail;
        held->mail.envelope_date = held->envelope_date;
        held->mail.bytes = nullptr;
        MailJob& job =
            workers.Add([held](RunContext& context,
                               const RunOptions& as) { return ProcessArchiveMail(context, held->mail, as); },
                        options, sequence);
        in_flight.push_back({&job, mail.size});
        bytes_in_flight += mail.size;
        return true;
    };
    const bool done = RunMboxArchive(path, shown, handler, tally, run.shard, settle);
    settle();
    return done && !failed;
}

} // namespace dornick
