// The web layer beneath the program: where Emscripten's SDL, which draws
// every surface on a canvas, differs from SDL 1.2 on the desktop.
mergeInto(LibraryManager.library, {
  // SDL_SetColorKey is a no-op there, so every key-coloured pixel would be
  // drawn. Canvases blend by alpha, so keying a surface makes its pixels of the
  // key colour transparent; the blits that follow leave them out as SDL 1.2
  // does. Taking the key off makes every pixel opaque again (those that were
  // keyed come back black: only the sprites' background buffers lose their
  // key, and they are overwritten before they are first restored).
  SDL_SetColorKey__deps: ['SDL_LockSurface', 'SDL_UnlockSurface'],
  SDL_SetColorKey: function(surf, flag, key) {
    var surfData = SDL.surfaces[surf];
    _SDL_LockSurface(surf);
    var pixels = surfData.image.data;
    var rgb = key & 0xffffff;
    for (var i = 0; i < pixels.length; i += 4) {
      if (!(flag & 0x20000 /* SDL_SRCCOLORKEY in these headers */)) {
        pixels[i + 3] = 0xff;
      } else if ((pixels[i] | pixels[i + 1] << 8 | pixels[i + 2] << 16) === rgb) {
        pixels[i + 3] = 0;
      }
    }
    HEAPU8.set(pixels, surfData.buffer);
    _SDL_UnlockSurface(surf);
    return 0;
  },

  // SDL_DisplayFormat has no body in Emscripten 3.1.6. Every surface there is
  // already in the canvas's RGBA format, so the conversion is a copy, which
  // keeps the transparency that a colour key gave the pixels.
  SDL_DisplayFormat__deps: ['SDL_ConvertSurface'],
  SDL_DisplayFormat: function(surf) {
    return _SDL_ConvertSurface(surf);
  },

  // SDL_Flip is a no-op there (the canvas is the display), and a loop that
  // never returns to the browser freezes the page. Presenting waits for the
  // browser's next animation frame instead: the program's own loop, unwound
  // and rewound by Asyncify, runs at the display's rate. The page may count
  // the frames (Module.onPresent).
  //
  // Once main has been rewound, its return reaches no caller in this
  // Emscripten: the status is passed on to exit, which ends the runtime and
  // tells the page (Module.onExit).
  SDL_Flip__deps: ['$Asyncify'],
  SDL_Flip: function(surf) {
    if (Module['onPresent']) Module['onPresent']();
    return Asyncify.handleSleep(function(wakeUp) {
      requestAnimationFrame(function() {
        if (!Asyncify.asyncPromiseHandlers) {
          Asyncify.whenDone().then(function(status) {
            try {
              (typeof exitJS == 'function' ? exitJS : exit)(status);  // exitJS in newer releases
            } catch (e) {
              if (!(e instanceof ExitStatus)) throw e;  // exit's way of stopping the caller
            }
          });
        }
        wakeUp(0);
      });
    });
  },

  // Emscripten keeps the keyboard state by SDL 1.3's key codes, where the
  // arrows sit at scancode + 1024; SDL 1.2 programs index it by their own key
  // symbols, the arrows at 273 to 276 (sdl12.h). Characters are the same in both.
  SDL_GetKeyState__deps: ['SDL_GetKeyboardState', 'malloc'],
  SDL_GetKeyState: function(numkeys) {
    var state = _SDL_GetKeyboardState();
    if (!SDL.keyState12) SDL.keyState12 = _malloc(512);
    HEAPU8.copyWithin(SDL.keyState12, state, state + 273);
    // Up, down, right, left: scancodes 82, 81, 79, 80.
    [82, 81, 79, 80].forEach(function(scancode, i) {
      HEAPU8[SDL.keyState12 + 273 + i] = HEAPU8[state + (scancode | 1 << 10)];
    });
    HEAPU8.fill(0, SDL.keyState12 + 277, SDL.keyState12 + 512);
    if (numkeys) HEAP32[numkeys >> 2] = 512;
    return SDL.keyState12;
  },
});
