#include "console/run/mail_jobs.h"

#include <algorithm>
#include <fcntl.h>
#include <sched.h>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>

#include "console/run/run_context.h"
#include "platform/files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"

namespace dornick {

int DefaultJobs() {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    int count = 1;
    if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) count = CPU_COUNT(&allowed);
    return std::clamp(count, 1, kMaxDefaultJobs);
}

MailWorkers::MailWorkers(const RunContext& run, int count) {
    // Every file a mail ahead of its turn finishes stays open until the turn comes: the run takes
    // all the descriptors it may, so that workers do not run short where one mail at a time would not.
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        (void)::setrlimit(RLIMIT_NOFILE, &limit);
    }
    for (int i = 0; i < count; ++i) {
        try {
            threads_.emplace_back(&MailWorkers::Work, this, std::cref(run));
        } catch (const std::system_error&) {
            break; // a process or address-space limit: fewer workers
        }
    }
}

MailWorkers::~MailWorkers() {
    Drop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    job_ready_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    if (again_) again_->icu.Release();
}

void MailWorkers::Work(const RunContext& run) {
    RunContext own(run.start_folder);
    own.messages.language = run.messages.language;
    own.mail_lock_retry = run.mail_lock_retry;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        job_ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) break;
        MailJob& job = *queue_.front();
        queue_.pop_front();
        job.started = true;
        lock.unlock();
        if (!platform::StopRequested()) {
            job.worked = true;
            WorkAhead(own, job);
        }
        lock.lock();
        job.done = true;
        job_done_.notify_all();
    }
    lock.unlock();
    own.icu.Release();
}

namespace {

MailResult DoJob(RunContext& context, const MailJob& job) {
    return job.process ? job.process(context, job.options)
                       : ProcessMailFile(context, job.path, job.options, {}, job.form);
}

} // namespace

void MailWorkers::WorkAhead(RunContext& context, MailJob& job) {
    const platform::WriteTally before = context.writer.tally();
    job.deferred.enter_folder = [this, &job](int parent, const std::u16string& name, int& error) {
        const std::shared_lock<std::shared_mutex> held(folders_gate_);
        const int made = platform::MakeFolderAt(parent, name);
        if (made == 0) NoteFolder(job.sequence, parent, name);
        if (made != 0 && made != EEXIST) {
            error = made;
            return platform::UniqueFd();
        }
        platform::UniqueFd entered = platform::OpenFolderNoFollowAt(parent, name);
        error = entered ? 0 : errno;
        return entered;
    };
    job.deferred.files.made_later = [this, &job](int folder, const std::string& name) {
        return MadeAfter(job.sequence, folder, name);
    };
    {
        const DeferredMailInUse bound(job.deferred);
        job.result = DoJob(context, job);
    }
    const platform::WriteTally after = context.writer.tally();
    job.deferred.written = {after.files - before.files, after.bytes - before.bytes};
}

MailJob& MailWorkers::Add(std::u16string path, MailFileForm form, const RunOptions& options,
                          uint64_t position) {
    auto job = std::make_unique<MailJob>();
    job->path = std::move(path);
    job->form = form;
    job->options = options;
    return Hand(std::move(job), position);
}

MailJob& MailWorkers::Add(std::function<MailResult(RunContext&, const RunOptions&)> process,
                          const RunOptions& options, uint64_t position) {
    auto job = std::make_unique<MailJob>();
    job->process = std::move(process);
    job->options = options;
    return Hand(std::move(job), position);
}

MailJob& MailWorkers::Hand(std::unique_ptr<MailJob> job, uint64_t position) {
    MailJob& added = *job;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        job->sequence = position;
        jobs_.push_back(std::move(job));
        queue_.push_back(&added);
    }
    job_ready_.notify_one();
    return added;
}

bool MailWorkers::Commit(RunContext& run, MailJob& job, MailResult& result) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        job_done_.wait(lock, [&] { return job.done; });
    }
    result = job.result;
    const bool worked = job.worked;
    // A mail begun before the run was asked to stop is committed as far as it went, as the mail a
    // run without workers was on; one never begun is not done at all.
    bool redo;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        redo = job.redo;
    }
    if (worked && redo) {
        // Only its folders were taken away, for an earlier mail done one at a time: it is worked
        // ahead again here, so that its own turn takes nothing away from the mails after it
        // (which would have them all done one at a time in turn).
        job.deferred = DeferredMail{};
        if (!again_) {
            again_ = std::make_unique<RunContext>(run.start_folder);
            again_->messages.language = run.messages.language;
            again_->mail_lock_retry = run.mail_lock_retry;
        }
        WorkAhead(*again_, job);
        std::lock_guard<std::mutex> lock(mutex_);
        redo = job.redo = false;
        result = job.result;
    }
    if (worked) {
        switch (redo ? CommitOutcome::Redo : CommitDeferredMail(job.deferred)) {
        case CommitOutcome::Committed:
            run.writer.Count(job.deferred.written);
            break;
        case CommitOutcome::CommittedLog:
            run.writer.Count(job.deferred.written);
            result = MailResult::Failed;
            break;
        case CommitOutcome::Redo: {
            job.deferred = DeferredMail{}; // its files without names go
            const auto held = HoldFolders();
            TakeAwayFoldersFrom(job.sequence);
            result = DoJob(run, job);
            break;
        }
        }
    }
    ForgetFoldersUpTo(job.sequence);
    Release(job);
    return worked;
}

void MailWorkers::NoteFolder(uint64_t sequence, int parent, const std::u16string& name) {
    MadeFolder made{{}, platform::NativePath(name), platform::DuplicateFd(parent), sequence};
    if (!made.parent_fd || !platform::IdentifyFolder(parent, made.parent)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    made_.push_back(std::move(made));
}

bool MailWorkers::MadeAfter(uint64_t sequence, int folder, const std::string& name) {
    platform::FolderIdentity here;
    if (!platform::IdentifyFolder(folder, here)) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    return std::any_of(made_.begin(), made_.end(), [&](const MadeFolder& made) {
        return made.sequence > sequence && made.parent == here && made.name == name;
    });
}

void MailWorkers::Discard(MailJob& job) {
    {
        std::unique_lock<std::mutex> lock(mutex_);
        job_done_.wait(lock, [&] { return job.done; });
    }
    Release(job);
}

void MailWorkers::Release(MailJob& job) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto at = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& held) { return held.get() == &job; });
    if (at != jobs_.end()) jobs_.erase(at);
}

void MailWorkers::TakeAwayFoldersFrom(uint64_t sequence) {
    std::lock_guard<std::mutex> lock(mutex_);
    // The innermost first: they were made after the folders that hold them.
    for (size_t i = made_.size(); i-- > 0;) {
        MadeFolder& made = made_[i];
        if (made.sequence < sequence) continue;
        (void)::unlinkat(made.parent_fd.Get(), made.name.c_str(), AT_REMOVEDIR);
        for (const auto& job : jobs_)
            if (job->sequence == made.sequence) job->redo = true;
        made_.erase(made_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void MailWorkers::ForgetFoldersUpTo(uint64_t sequence) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(made_, [&](const MadeFolder& made) { return made.sequence <= sequence; });
}

void MailWorkers::Drop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (MailJob* job : queue_)
        job->done = true;
    queue_.clear();
    job_done_.wait(lock, [this] {
        return std::all_of(jobs_.begin(), jobs_.end(), [](const auto& job) { return job->done; });
    });
    jobs_.clear();
    lock.unlock();
    // The folders of mails never committed go with them (those that stayed empty).
    TakeAwayFoldersFrom(0);
}

} // namespace dornick
