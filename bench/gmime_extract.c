/* Reference extractor for the benchmark only (never part of the product): writes every part that
 * has a file name into the output folder, decoded, under the base name of its file name.
 * Usage: gmime_extract <output folder> <mail files...>
 *        gmime_extract --mbox <output folder> <mbox files...>   (every message of each mbox) */
#include <fcntl.h>
#include <gmime/gmime.h>
#include <stdio.h>
#include <string.h>

static void save_part(GMimePart* part, const char* folder) {
    const char* name = g_mime_part_get_filename(part);
    if (!name || !*name) return;
    const char* slash = strrchr(name, '/');
    if (slash) name = slash + 1;
    if (!*name || !strcmp(name, ".") || !strcmp(name, "..")) return;
    char* path = g_build_filename(folder, name, NULL);
    GMimeStream* out = g_mime_stream_fs_open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644, NULL);
    if (out) {
        GMimeDataWrapper* content = g_mime_part_get_content(part);
        if (content) g_mime_data_wrapper_write_to_stream(content, out);
        g_mime_stream_flush(out);
        g_object_unref(out);
    }
    g_free(path);
}

static void save_message(GMimeMessage* message, const char* folder) {
    GMimePartIter* iter = g_mime_part_iter_new((GMimeObject*)message);
    if (g_mime_part_iter_is_valid(iter)) {
        do {
            GMimeObject* current = g_mime_part_iter_get_current(iter);
            if (GMIME_IS_PART(current)) save_part(GMIME_PART(current), folder);
        } while (g_mime_part_iter_next(iter));
    }
    g_mime_part_iter_free(iter);
}

int main(int argc, char** argv) {
    int mbox = argc > 1 && !strcmp(argv[1], "--mbox");
    if (mbox) {
        ++argv;
        --argc;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: %s [--mbox] <output folder> <mail files...>\n", argv[0]);
        return 2;
    }
    g_mime_init();
    for (int i = 2; i < argc; ++i) {
        GMimeStream* stream = g_mime_stream_fs_open(argv[i], O_RDONLY, 0, NULL);
        if (!stream) continue;
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        if (mbox) g_mime_parser_set_format(parser, GMIME_FORMAT_MBOX);
        do {
            GMimeMessage* message = g_mime_parser_construct_message(parser, NULL);
            if (!message) break;
            save_message(message, argv[1]);
            g_object_unref(message);
        } while (mbox && !g_mime_parser_eos(parser));
        g_object_unref(parser);
        g_object_unref(stream);
    }
    g_mime_shutdown();
    return 0;
}
