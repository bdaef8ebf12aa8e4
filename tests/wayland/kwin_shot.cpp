// kwin-shot: a screenshot of part of a KWin desktop at the screen's own pixels,
// through KWin's ScreenShot2 interface on the session bus, written as a PNG.
//   kwin-shot X Y W H FILE.png   the W x H rectangle at (X, Y), in the desktop's
//                                logical units; the PNG is that times the scale
// KWin hands the picture over a pipe as raw 32-bit pixels, which is why a
// D-Bus command line tool can't take it. KWin must trust the caller: run it
// with KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 (as tests do).
// Exit status: 0 done, 1 KWin refused or the file can't be written, 2 bad arguments.
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <png.h>
#include <stdint.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace
{

int fail(const std::string& message)
{
    std::cerr << "kwin-shot: " << message << "\n";
    return 1;
}

bool number(const char* text, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return *text && *end == '\0' && errno == 0 && value >= -65535 && value <= 65535;
}

uint32_t field(GVariant* results, const char* name)
{
    uint32_t value = 0;
    g_variant_lookup(results, name, "u", &value);
    return value;
}

// Writes the pixels (QImage's 32-bit formats: B, G, R, A bytes) as an RGB PNG.
bool writePng(const std::string& path, const std::vector<unsigned char>& data, uint32_t w, uint32_t h,
              uint32_t stride)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info && !setjmp(png_jmpbuf(png));
    if (ok)
    {
        png_init_io(png, file);
        png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<unsigned char> row(w * 3);
        for (uint32_t y = 0; y < h; ++y)
        {
            const unsigned char* in = data.data() + size_t(y) * stride;
            for (uint32_t x = 0; x < w; ++x)
            {
                row[x * 3] = in[x * 4 + 2];
                row[x * 3 + 1] = in[x * 4 + 1];
                row[x * 3 + 2] = in[x * 4];
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

}

int main(int argc, char** argv)
{
    long v[4] = {};
    bool good = argc == 6;
    for (int i = 0; good && i < 4; ++i)
        good = number(argv[i + 1], v[i]) && (i < 2 || v[i] > 0);
    if (!good)
    {
        std::cerr << "usage: kwin-shot X Y W H FILE.png (W and H above 0)\n";
        return 2;
    }
    const std::string path = argv[5];

    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus)
        return fail(std::string("can't connect to the session bus: ") + error->message);
    int fds[2];
    if (pipe(fds) != 0)
        return fail(std::string("no pipe: ") + std::strerror(errno));
    GUnixFDList* list = g_unix_fd_list_new_from_array(&fds[1], 1);  // takes the write end

    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&options, "{sv}", "native-resolution", g_variant_new_boolean(TRUE));
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_sync(
        bus, "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureArea",
        g_variant_new("(iiuua{sv}h)", int(v[0]), int(v[1]), unsigned(v[2]), unsigned(v[3]), &options, 0),
        G_VARIANT_TYPE("(a{sv})"), G_DBUS_CALL_FLAGS_NONE, 30000, list, nullptr, nullptr, &error);
    g_object_unref(list);  // closes this process's write end, so the read below ends with KWin's
    if (!reply)
    {
        close(fds[0]);
        return fail(std::string("KWin took no screenshot: ") + error->message);
    }
    GVariant* results = g_variant_get_child_value(reply, 0);
    const uint32_t w = field(results, "width"), h = field(results, "height"),
                   stride = field(results, "stride");
    g_variant_unref(results);
    g_variant_unref(reply);
    g_object_unref(bus);

    std::vector<unsigned char> data;
    unsigned char buffer[65536];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;)
    {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(std::string("reading the picture: ") + std::strerror(errno));
        data.insert(data.end(), buffer, buffer + n);
    }
    close(fds[0]);
    if (w == 0 || h == 0 || stride < w * 4 || data.size() < size_t(stride) * h)
        return fail("KWin sent " + std::to_string(data.size()) + " bytes for a " + std::to_string(w) +
                    " x " + std::to_string(h) + " picture of stride " + std::to_string(stride));
    if (!writePng(path, data, w, h, stride))
        return fail("can't write " + path);
    return 0;
}
