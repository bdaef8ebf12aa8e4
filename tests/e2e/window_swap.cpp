// A stand-in for the program that replaces its window the way SDL 2 does under
// the SDL 1.2 compatibility layer: it maps a first window, and as soon as the
// test has found it (the harness moves the pointer in), destroys it and maps
// another, 1024 x 768 and green. Ends with status 0 on Escape or window close.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdio>

namespace
{

Window openWindow(Display* dpy, int x, int y, unsigned w, unsigned h, unsigned long colour,
                  long events)
{
    Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), x, y, w, h, 0, 0, colour);
    XClassHint hint;
    char name[] = "velmora";
    hint.res_name = name;
    hint.res_class = name;
    XSetClassHint(dpy, window, &hint);
    // Without a window manager the position asked for is the position given.
    XSizeHints size;
    size.flags = USPosition;
    XSetWMNormalHints(dpy, window, &size);
    XSelectInput(dpy, window, events);
    XMapWindow(dpy, window);
    return window;
}

}

int main()
{
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
    {
        std::printf("window_swap: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(dpy);
    Visual* visual = DefaultVisual(dpy, screen);
    const unsigned long green = visual->green_mask;
    const unsigned long red = visual->red_mask;

    // Away from the pointer, which starts in the middle of the screen: only the
    // harness's move into the window lets the pointer enter it.
    Window first = openWindow(dpy, 1100, 900, 160, 100, red, EnterWindowMask);
    XEvent event;
    do
        XNextEvent(dpy, &event);
    while (event.type != EnterNotify);
    XDestroyWindow(dpy, first);

    Window second = openWindow(dpy, 0, 0, 1024, 768, green, KeyPressMask);
    Atom deleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(dpy, second, &deleteWindow, 1);
    for (;;)
    {
        XNextEvent(dpy, &event);
        if (event.type == KeyPress && XLookupKeysym(&event.xkey, 0) == XK_Escape)
            break;
        if (event.type == ClientMessage && (Atom)event.xclient.data.l[0] == deleteWindow)
            break;
    }
    XCloseDisplay(dpy);
    return 0;
}
