// The least any extractor must do to turn the mails of a subset into a given output tree: read
// every mail (open, fstat, pread, close) and write every file of the tree (make its two folders,
// create it, one pwrite, set its time, close), with no decoding and no naming at all. The tree's
// files are loaded into memory first; only the reading and writing are timed. It prints the CPU
// time (user + system) and the wall time of that part.
//
// Usage: write_floor TREE OUT MAIL...   (TREE: sender/date/file, as dornick writes it; OUT empty)
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

struct file {
    char path[3][256];
    char* data;
    size_t size;
    struct timespec times[2];
};

static struct file* files;
static size_t count, capacity;

static void load(const char* tree) {
    DIR* senders = opendir(tree);
    if (!senders) {
        perror(tree);
        exit(1);
    }
    struct dirent* a;
    while ((a = readdir(senders))) {
        if (a->d_name[0] == '.') continue;
        char dates_path[4096];
        snprintf(dates_path, sizeof dates_path, "%s/%s", tree, a->d_name);
        DIR* dates = opendir(dates_path);
        if (!dates) continue;
        struct dirent* b;
        while ((b = readdir(dates))) {
            if (b->d_name[0] == '.') continue;
            char names_path[4352];
            snprintf(names_path, sizeof names_path, "%s/%s", dates_path, b->d_name);
            DIR* names = opendir(names_path);
            if (!names) continue;
            struct dirent* c;
            while ((c = readdir(names))) {
                if (c->d_name[0] == '.') continue;
                char path[4608];
                snprintf(path, sizeof path, "%s/%s", names_path, c->d_name);
                struct stat info;
                int fd = open(path, O_RDONLY);
                if (fd < 0 || fstat(fd, &info) != 0) continue;
                if (count == capacity) {
                    capacity = capacity ? capacity * 2 : 1024;
                    files = realloc(files, capacity * sizeof *files);
                }
                struct file* f = &files[count++];
                snprintf(f->path[0], 256, "%s", a->d_name);
                snprintf(f->path[1], 256, "%s", b->d_name);
                snprintf(f->path[2], 256, "%s", c->d_name);
                f->size = (size_t)info.st_size;
                f->data = malloc(f->size + 1);
                if (pread(fd, f->data, f->size, 0) != (ssize_t)f->size) exit(1);
                f->times[0] = info.st_atim;
                f->times[1] = info.st_mtim;
                close(fd);
            }
            closedir(names);
        }
        closedir(dates);
    }
    closedir(senders);
}

static double cpu_seconds(void) {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return (double)usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + (double)usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: write_floor TREE OUT MAIL...\n");
        return 2;
    }
    load(argv[1]);
    int out = open(argv[2], O_RDONLY | O_DIRECTORY);
    if (out < 0) {
        perror(argv[2]);
        return 1;
    }
    size_t buffer_size = 1 << 20;
    char* buffer = malloc(buffer_size);
    size_t mail_bytes = 0;
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const double cpu_start = cpu_seconds();
    for (int i = 3; i < argc; ++i) {
        int fd = open(argv[i], O_RDONLY | O_CLOEXEC);
        struct stat info;
        if (fd < 0 || fstat(fd, &info) != 0) return 1;
        if ((size_t)info.st_size > buffer_size) {
            buffer_size = (size_t)info.st_size;
            buffer = realloc(buffer, buffer_size);
        }
        if (pread(fd, buffer, (size_t)info.st_size, 0) != info.st_size) return 1;
        mail_bytes += (size_t)info.st_size;
        close(fd);
    }
    char last[600] = "";
    int dir = -1;
    for (size_t i = 0; i < count; ++i) {
        const struct file* f = &files[i];
        char folder[600];
        snprintf(folder, sizeof folder, "%s/%s", f->path[0], f->path[1]);
        if (strcmp(folder, last) != 0) {
            // The files of one folder come together: each folder is made and opened once.
            if (dir >= 0) close(dir);
            mkdirat(out, f->path[0], 0777);
            mkdirat(out, folder, 0777);
            dir = openat(out, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            strcpy(last, folder);
        }
        int fd = openat(dir, f->path[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || pwrite(fd, f->data, f->size, 0) != (ssize_t)f->size) return 1;
        futimens(fd, f->times);
        close(fd);
    }
    if (dir >= 0) close(dir);
    const double cpu = cpu_seconds() - cpu_start;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = (double)(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    printf("%zu mails, %zu bytes; %zu files written; cpu %.1f ms, wall %.1f ms, %.0f MB/s of mail by cpu\n",
           (size_t)(argc - 3), mail_bytes, count, cpu * 1e3, wall * 1e3, mail_bytes / cpu / 1e6);
    return 0;
}
