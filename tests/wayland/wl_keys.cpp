// wl-keys: a keyboard and mouse for tests under a Wayland compositor. It joins
// the compositor's first seat as a virtual keyboard with a full US keymap (from
// xkbcommon, as a real keyboard's), presses keys named as X keysyms, and moves
// a virtual pointer, which also makes the compositor show its cursor. It speaks
// whichever way of faking input the compositor offers: wlroots' virtual
// keyboard and pointer (sway), KWin's fake input, or, on the session bus,
// mutter's remote desktop (GNOME Shell, keys only). The key codes are the same
// Linux input codes for all three.
//   wl-keys tap Escape          press and release, then exit
//   wl-keys press Up release Up
//   wl-keys move X Y W H        put the pointer at (X, Y) of a W x H desktop
//   wl-keys                     read the same commands from standard input,
//                               one per line, and answer "ok" or "failed" to each
// A command is answered once the compositor has handled it, so a script can hold
// a key down, look at the screen, and release it. Keys still held at the end
// are released before the keyboard goes away.
// Exit status: 0 done, 1 the compositor is unreachable or refuses the keyboard,
// 2 a command or key name it does not know (on standard input: "failed").
#include <sys/mman.h>
#include <unistd.h>
#include <gio/gio.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "fake-input-client-protocol.h"
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace
{

// Linux input codes are XKB keycodes less 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

struct Globals
{
    wl_seat* seat = nullptr;
    zwp_virtual_keyboard_manager_v1* manager = nullptr;
    zwlr_virtual_pointer_manager_v1* pointers = nullptr;
    org_kde_kwin_fake_input* fake = nullptr;
};

// Key events arrive as keyboard_key from version 4 of KWin's fake input.
constexpr uint32_t kFakeInputKeys = 4;

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version)
{
    Globals& g = *static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g.seat)
        g.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        g.manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        g.pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 &&
             version >= kFakeInputKeys)
        g.fake = static_cast<org_kde_kwin_fake_input*>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, kFakeInputKeys));
}

void onGlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {onGlobal, onGlobalRemove};

uint32_t nowMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint32_t>(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

class Keyboard
{
public:
    ~Keyboard()
    {
        if (mReady)
        {
            for (uint32_t code : std::set<uint32_t>(mHeld))
                send(code, WL_KEYBOARD_KEY_STATE_RELEASED);
            if (mKeyboard)
                zwp_virtual_keyboard_v1_destroy(mKeyboard);
            if (mPointer)
                zwlr_virtual_pointer_v1_destroy(mPointer);
            wl_display_roundtrip(mDisplay);
        }
        if (mBus)
        {
            if (!mSession.empty())
                callSession("Stop", nullptr);
            g_object_unref(mBus);
        }
        if (mKeymap)
            xkb_keymap_unref(mKeymap);
        if (mContext)
            xkb_context_unref(mContext);
        if (mDisplay)
            wl_display_disconnect(mDisplay);
    }

    // Connects and hands the compositor the keymap; false with a message on failure.
    bool init()
    {
        mDisplay = wl_display_connect(nullptr);
        if (!mDisplay)
            return fail("can't connect to the Wayland display (is WAYLAND_DISPLAY set?)");
        wl_registry* registry = wl_display_get_registry(mDisplay);
        wl_registry_add_listener(registry, &kRegistryListener, &mGlobals);
        wl_display_roundtrip(mDisplay);
        if (!mGlobals.seat)
            return fail("the compositor has no seat");
        if (mGlobals.manager)
            return initVirtualKeyboard();
        if (mGlobals.fake)
        {
            org_kde_kwin_fake_input_authenticate(mGlobals.fake, "wl-keys", "keys for tests");
            if (wl_display_roundtrip(mDisplay) < 0)
                return fail("the compositor refused fake input");
            return initKeymap() && (mReady = true);
        }
        if (std::getenv("DBUS_SESSION_BUS_ADDRESS"))
            return initRemoteDesktop();
        return fail("the compositor offers no virtual keyboards (zwp_virtual_keyboard_manager_v1, "
                    "org_kde_kwin_fake_input) and there is no session bus for mutter's remote desktop");
    }

private:
    // The US keymap, which names the keys.
    bool initKeymap()
    {
        mContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        mKeymap = mContext ? xkb_keymap_new_from_names(mContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS)
                           : nullptr;
        if (!mKeymap)
            return fail("xkbcommon can't compile the US keymap (is xkb-data installed?)");
        return true;
    }

    // wlroots' virtual keyboard, which is handed the keymap itself.
    bool initVirtualKeyboard()
    {
        if (!initKeymap())
            return false;
        char* text = xkb_keymap_get_as_string(mKeymap, XKB_KEYMAP_FORMAT_TEXT_V1);
        const size_t size = std::strlen(text) + 1;
        int fd = memfd_create("wl-keys-keymap", MFD_CLOEXEC);
        bool written = fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size);
        std::free(text);
        if (!written)
        {
            if (fd >= 0)
                close(fd);
            return fail(std::string("can't hold the keymap: ") + std::strerror(errno));
        }
        mKeyboard = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(mGlobals.manager,
                                                                            mGlobals.seat);
        zwp_virtual_keyboard_v1_keymap(mKeyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<uint32_t>(size));
        zwp_virtual_keyboard_v1_modifiers(mKeyboard, 0, 0, 0, 0);
        close(fd);
        if (wl_display_roundtrip(mDisplay) < 0)
            return fail("the compositor refused the virtual keyboard");
        mReady = true;
        return true;
    }

    // A remote desktop session of mutter's, which lasts as long as this connection.
    bool initRemoteDesktop()
    {
        if (!initKeymap())
            return false;
        GError* error = nullptr;
        mBus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
        if (!mBus)
            return dbusFail("can't connect to the session bus", error);
        GVariant* reply = g_dbus_connection_call_sync(
            mBus, kMutter, "/org/gnome/Mutter/RemoteDesktop", kMutter, "CreateSession", nullptr,
            G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, kDbusTimeoutMs, nullptr, &error);
        if (!reply)
            return dbusFail("the compositor offers no virtual keyboards, and mutter's remote desktop "
                            "can't be had",
                            error);
        const gchar* path = nullptr;
        g_variant_get(reply, "(&o)", &path);
        mSession = path;
        g_variant_unref(reply);
        if (!callSession("Start", nullptr))
            return false;
        mReady = true;
        return true;
    }

    // Calls a method of the remote desktop session; false with a message on failure.
    bool callSession(const char* method, GVariant* args)
    {
        GError* error = nullptr;
        GVariant* reply = g_dbus_connection_call_sync(
            mBus, kMutter, mSession.c_str(), "org.gnome.Mutter.RemoteDesktop.Session", method, args,
            nullptr, G_DBUS_CALL_FLAGS_NONE, kDbusTimeoutMs, nullptr, &error);
        if (!reply)
            return dbusFail(std::string("mutter's remote desktop refused ") + method, error);
        g_variant_unref(reply);
        return true;
    }

    bool dbusFail(const std::string& message, GError* error)
    {
        const std::string why = error ? error->message : "no reason given";
        g_clear_error(&error);
        return fail(message + ": " + why);
    }

public:

    // Runs one command ("press KEY", "release KEY", "tap KEY", "move X Y W H");
    // 0, or the exit status.
    int run(const std::vector<std::string>& words)
    {
        const std::string verb = words.empty() ? "" : words[0];
        if (verb == "move")
            return move(words);
        if (verb != "press" && verb != "release" && verb != "tap")
        {
            std::cerr << "wl-keys: unknown command \"" << verb << "\" (press, release, tap or move)\n";
            return 2;
        }
        if (words.size() != 2)
        {
            std::cerr << "wl-keys: " << verb << " takes one key name\n";
            return 2;
        }
        const std::string& key = words[1];
        uint32_t code = 0;
        if (!lookUp(key, code))
        {
            std::cerr << "wl-keys: no key of the US keymap gives \"" << key << "\"\n";
            return 2;
        }
        if (verb != "release")
            send(code, WL_KEYBOARD_KEY_STATE_PRESSED);
        if (verb != "press")
            send(code, WL_KEYBOARD_KEY_STATE_RELEASED);
        return roundtrip();
    }

private:
    int move(const std::vector<std::string>& words)
    {
        uint32_t v[4] = {};
        bool numbers = words.size() == 5;
        for (size_t i = 1; numbers && i < 5; ++i)
        {
            char* end = nullptr;
            const unsigned long n = std::strtoul(words[i].c_str(), &end, 10);
            numbers = !words[i].empty() && *end == '\0' && words[i][0] != '-' && n <= 65535;
            v[i - 1] = static_cast<uint32_t>(n);
        }
        if (!numbers || v[0] >= v[2] || v[1] >= v[3])
        {
            std::cerr << "wl-keys: move takes X Y W H, a point inside a W x H desktop\n";
            return 2;
        }
        if (mGlobals.fake && !mGlobals.manager)
        {
            org_kde_kwin_fake_input_pointer_motion_absolute(mGlobals.fake, wl_fixed_from_int(v[0]),
                                                            wl_fixed_from_int(v[1]));
            return roundtrip();
        }
        if (!mGlobals.pointers)
        {
            std::cerr << "wl-keys: the compositor offers no virtual pointers (zwlr_virtual_pointer_manager_v1)\n";
            return 1;
        }
        if (!mPointer)
            mPointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(mGlobals.pointers,
                                                                              mGlobals.seat);
        zwlr_virtual_pointer_v1_motion_absolute(mPointer, nowMs(), v[0], v[1], v[2], v[3]);
        zwlr_virtual_pointer_v1_frame(mPointer);
        return roundtrip();
    }

    int roundtrip()
    {
        if (mFailed)
            return 1;
        if (wl_display_roundtrip(mDisplay) < 0)
        {
            std::cerr << "wl-keys: the connection to the compositor broke\n";
            return 1;
        }
        return 0;
    }

    bool fail(const std::string& message)
    {
        std::cerr << "wl-keys: " << message << "\n";
        return false;
    }

    // The code of the first key whose unshifted symbol is the keysym `name`.
    bool lookUp(const std::string& name, uint32_t& code) const
    {
        const xkb_keysym_t wanted = xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS);
        if (wanted == XKB_KEY_NoSymbol)
            return false;
        for (xkb_keycode_t k = xkb_keymap_min_keycode(mKeymap); k <= xkb_keymap_max_keycode(mKeymap);
             ++k)
        {
            const xkb_keysym_t* syms = nullptr;
            const int n = xkb_keymap_key_get_syms_by_level(mKeymap, k, 0, 0, &syms);
            if (n == 1 && syms[0] == wanted && k >= kEvdevOffset)
            {
                code = k - kEvdevOffset;
                return true;
            }
        }
        return false;
    }

    void send(uint32_t code, uint32_t state)
    {
        if (mKeyboard)
            zwp_virtual_keyboard_v1_key(mKeyboard, nowMs(), code, state);
        else if (mGlobals.fake)
            org_kde_kwin_fake_input_keyboard_key(mGlobals.fake, code, state);
        else if (!callSession("NotifyKeyboardKeycode",
                              g_variant_new("(ub)", code, state == WL_KEYBOARD_KEY_STATE_PRESSED)))
            mFailed = true;
        if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
            mHeld.insert(code);
        else
            mHeld.erase(code);
    }

    wl_display* mDisplay = nullptr;
    Globals mGlobals;
    xkb_context* mContext = nullptr;
    xkb_keymap* mKeymap = nullptr;
    zwp_virtual_keyboard_v1* mKeyboard = nullptr;
    zwlr_virtual_pointer_v1* mPointer = nullptr;
    std::set<uint32_t> mHeld;
    bool mReady = false;
    bool mFailed = false;
    GDBusConnection* mBus = nullptr;
    std::string mSession;
    static constexpr const char* kMutter = "org.gnome.Mutter.RemoteDesktop";
    static constexpr int kDbusTimeoutMs = 30000;
};

}

int main(int argc, char** argv)
{
    Keyboard keyboard;
    if (!keyboard.init())
        return 1;
    if (argc > 1)
    {
        // Arguments are commands one after another, each a verb and its words.
        std::vector<std::string> args(argv + 1, argv + argc);
        for (size_t i = 0; i < args.size();)
        {
            const size_t n = args[i] == "move" ? 5 : 2;
            std::vector<std::string> words(args.begin() + i,
                                           args.begin() + std::min(args.size(), i + n));
            if (int status = keyboard.run(words))
                return status;
            i += n;
        }
        return 0;
    }
    std::string line;
    while (std::getline(std::cin, line))
    {
        std::istringstream in(line);
        std::vector<std::string> words;
        for (std::string w; in >> w;)
            words.push_back(w);
        if (words.empty())
            continue;
        // A command that fails is answered, and the next one still runs.
        const int status = keyboard.run(words);
        if (status == 1)
            return status;
        std::cout << (status == 0 ? "ok" : "failed") << std::endl;
    }
    return 0;
}
