// velmora-output-scale: what the Wayland desktop's screens are scaled by, for the
// launcher to size the demo's window with. It asks the compositor in
// WAYLAND_DISPLAY for its outputs and prints, one line per output:
//   output SCALE FRACTION WIDTH HEIGHT
// SCALE is wl_output's whole-number scale (what a client without the
// fractional-scale protocol draws at), FRACTION the desktop's own scale (the
// output's pixels over its logical size, as xdg-output gives it, so 1.5 on a
// screen at 150 %), WIDTH x HEIGHT the output's logical size (the area a window
// can take, in the desktop's units). Where the compositor offers no xdg-output,
// or lays its screens out in pixels, FRACTION is SCALE and the logical size is
// the mode's pixels over SCALE.
// Before the outputs a line "compositor weston" names a compositor that the
// launcher treats apart (weston, known by its own protocols); other compositors
// give "compositor other". Nothing is shown on the screen.
// Exit status: 0 done, 1 no compositor to ask or no output.
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "xdg-output-unstable-v1-client-protocol.h"

namespace
{

struct Output
{
    wl_output* output = nullptr;
    zxdg_output_v1* xdg = nullptr;
    int scale = 1;
    int modeWidth = 0, modeHeight = 0;
    int transform = WL_OUTPUT_TRANSFORM_NORMAL;
    int logicalWidth = 0, logicalHeight = 0;
};

struct Desktop
{
    std::vector<Output*> outputs;
    zxdg_output_manager_v1* xdgManager = nullptr;
    bool weston = false;
};

void onGeometry(void* data, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
                int32_t transform)
{
    static_cast<Output*>(data)->transform = transform;
}

void onMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t)
{
    Output& o = *static_cast<Output*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT)
    {
        o.modeWidth = width;
        o.modeHeight = height;
    }
}

void onDone(void*, wl_output*) {}

void onScale(void* data, wl_output*, int32_t factor)
{
    static_cast<Output*>(data)->scale = factor > 0 ? factor : 1;
}

// Sent only from version 4 on; bound at 2.
void onOutputName(void*, wl_output*, const char*) {}
void onOutputDescription(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {onGeometry, onMode, onDone, onScale, onOutputName, onOutputDescription};

void onLogicalPosition(void*, zxdg_output_v1*, int32_t, int32_t) {}

void onLogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height)
{
    Output& o = *static_cast<Output*>(data);
    o.logicalWidth = width;
    o.logicalHeight = height;
}

void onXdgDone(void*, zxdg_output_v1*) {}
void onName(void*, zxdg_output_v1*, const char*) {}
void onDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kXdgOutputListener = {onLogicalPosition, onLogicalSize, onXdgDone, onName,
                                                    onDescription};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    Desktop& d = *static_cast<Desktop*>(data);
    if (std::strcmp(interface, wl_output_interface.name) == 0 && version >= 2)
    {
        Output* o = new Output;
        o->output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 2));
        wl_output_add_listener(o->output, &kOutputListener, o);
        d.outputs.push_back(o);
    }
    else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0)
        d.xdgManager = static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface, version < 2 ? version : 2));
    else if (std::strncmp(interface, "weston_", 7) == 0)
        d.weston = true;
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

bool sideways(int transform)
{
    return transform == WL_OUTPUT_TRANSFORM_90 || transform == WL_OUTPUT_TRANSFORM_270 ||
           transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 || transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
}

}

int main(int argc, char**)
{
    if (argc > 1)
    {
        std::fprintf(stderr, "velmora-output-scale: takes no arguments; it prints the Wayland desktop's outputs\n");
        return 1;
    }
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
    {
        std::fprintf(stderr, "velmora-output-scale: no Wayland compositor to ask (WAYLAND_DISPLAY)\n");
        return 1;
    }
    Desktop desktop;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, &desktop);
    // The globals, then every output's events, then the xdg-output events.
    wl_display_roundtrip(display);
    wl_display_roundtrip(display);
    if (desktop.xdgManager)
    {
        for (Output* o : desktop.outputs)
        {
            o->xdg = zxdg_output_manager_v1_get_xdg_output(desktop.xdgManager, o->output);
            zxdg_output_v1_add_listener(o->xdg, &kXdgOutputListener, o);
        }
        wl_display_roundtrip(display);
    }
    if (wl_display_get_error(display))
    {
        std::fprintf(stderr, "velmora-output-scale: the compositor ended the connection\n");
        wl_display_disconnect(display);
        return 1;
    }

    std::printf("compositor %s\n", desktop.weston ? "weston" : "other");
    int shown = 0;
    for (Output* o : desktop.outputs)
    {
        int pixelsWide = sideways(o->transform) ? o->modeHeight : o->modeWidth;
        int pixelsHigh = sideways(o->transform) ? o->modeWidth : o->modeHeight;
        if (pixelsWide <= 0 || pixelsHigh <= 0)
            continue;
        // mutter, unless it scales framebuffers, lays screens out in their own
        // pixels: its xdg-output then gives the mode's size at every scale, and
        // the desktop's scale is wl_output's.
        const bool laidOutInPixels = o->logicalWidth == pixelsWide && o->scale > 1;
        const bool logical = o->logicalWidth > 0 && o->logicalHeight > 0 && !laidOutInPixels;
        int width = logical ? o->logicalWidth : pixelsWide / o->scale;
        int height = logical ? o->logicalHeight : pixelsHigh / o->scale;
        double fraction = logical ? (double)pixelsWide / o->logicalWidth : o->scale;
        std::printf("output %d %.2f %d %d\n", o->scale, fraction, width, height);
        ++shown;
    }
    for (Output* o : desktop.outputs)
    {
        if (o->xdg)
            zxdg_output_v1_destroy(o->xdg);
        wl_output_destroy(o->output);
        delete o;
    }
    if (desktop.xdgManager)
        zxdg_output_manager_v1_destroy(desktop.xdgManager);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    if (shown == 0)
    {
        std::fprintf(stderr, "velmora-output-scale: the compositor shows no output\n");
        return 1;
    }
    return 0;
}
