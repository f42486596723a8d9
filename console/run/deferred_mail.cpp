#include "console/run/deferred_mail.h"

#include "console/run/log.h"

namespace dornick {
namespace {

thread_local DeferredMail* t_bound = nullptr;

} // namespace

DeferredMailInUse::DeferredMailInUse(DeferredMail& mail)
    : previous_(t_bound), said_(mail.said), files_(mail.files) {
    t_bound = &mail;
}

DeferredMailInUse::~DeferredMailInUse() {
    t_bound = previous_;
}

DeferredMail* BoundDeferredMail() {
    return t_bound;
}

bool MustWaitForTurn() {
    if (!t_bound) return false;
    t_bound->files.must_wait = true;
    return true;
}

CommitOutcome CommitDeferredMail(DeferredMail& mail) {
    if (mail.files.must_wait || platform::LinkDeferredFiles(mail.files) != 0) return CommitOutcome::Redo;
    platform::ReplayConsole(mail.said);
    bool logged = true;
    for (const DeferredLog& log : mail.logs)
        logged = LogWriteFile(log.text, log.folder, platform::RetryPolicy{},
                              log.folder_fd ? log.folder_fd.Get() : platform::kCurrentFolder) &&
                 logged;
    return logged ? CommitOutcome::Committed : CommitOutcome::CommittedLog;
}

} // namespace dornick
