// wl-keys: a keyboard for tests under a Wayland compositor. It joins the
// compositor's first seat as a virtual keyboard with a full US keymap (from
// xkbcommon, as a real keyboard's), and presses keys named as X keysyms.
//   wl-keys tap Escape          press and release, then exit
//   wl-keys press Up release Up
//   wl-keys                     read the same commands from standard input,
//                               one per line, and answer "ok" to each
// A command is answered once the compositor has handled it, so a script can hold
// a key down, look at the screen, and release it. Keys still held at the end
// are released before the keyboard goes away.
// Exit status: 0 done, 1 the compositor is unreachable or refuses the keyboard,
// 2 a command or key name it does not know.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "virtual-keyboard-unstable-v1-client-protocol.h"

namespace
{

// Linux input codes are XKB keycodes less 8.
constexpr xkb_keycode_t kEvdevOffset = 8;

struct Globals
{
    wl_seat* seat = nullptr;
    zwp_virtual_keyboard_manager_v1* manager = nullptr;
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    Globals& g = *static_cast<Globals*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g.seat)
        g.seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        g.manager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
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
        if (mKeyboard)
        {
            for (uint32_t code : std::set<uint32_t>(mHeld))
                send(code, WL_KEYBOARD_KEY_STATE_RELEASED);
            zwp_virtual_keyboard_v1_destroy(mKeyboard);
            wl_display_roundtrip(mDisplay);
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
        if (!mGlobals.manager)
            return fail("the compositor offers no virtual keyboards (zwp_virtual_keyboard_manager_v1)");

        mContext = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
        xkb_rule_names names{"evdev", "pc105", "us", "", ""};
        mKeymap = mContext ? xkb_keymap_new_from_names(mContext, &names, XKB_KEYMAP_COMPILE_NO_FLAGS)
                           : nullptr;
        if (!mKeymap)
            return fail("xkbcommon can't compile the US keymap (is xkb-data installed?)");
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
        return true;
    }

    // Runs one command ("press KEY", "release KEY", "tap KEY"); 0, or the exit status.
    int run(const std::string& verb, const std::string& key)
    {
        if (verb != "press" && verb != "release" && verb != "tap")
        {
            std::cerr << "wl-keys: unknown command \"" << verb << "\" (press, release or tap)\n";
            return 2;
        }
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
        if (wl_display_roundtrip(mDisplay) < 0)
        {
            std::cerr << "wl-keys: the connection to the compositor broke\n";
            return 1;
        }
        return 0;
    }

private:
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
        zwp_virtual_keyboard_v1_key(mKeyboard, nowMs(), code, state);
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
    std::set<uint32_t> mHeld;
};

}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() % 2 != 0)
    {
        std::cerr << "usage: wl-keys [press|release|tap KEY]...  (no arguments: commands on standard input)\n";
        return 2;
    }
    Keyboard keyboard;
    if (!keyboard.init())
        return 1;
    if (!args.empty())
    {
        for (size_t i = 0; i < args.size(); i += 2)
            if (int status = keyboard.run(args[i], args[i + 1]))
                return status;
        return 0;
    }
    std::string line;
    while (std::getline(std::cin, line))
    {
        std::istringstream words(line);
        std::string verb, key, extra;
        if (!(words >> verb))
            continue;
        if (!(words >> key) || (words >> extra))
        {
            std::cerr << "wl-keys: a command is a verb and a key: \"" << line << "\"\n";
            return 2;
        }
        if (int status = keyboard.run(verb, key))
            return status;
        std::cout << "ok" << std::endl;
    }
    return 0;
}
