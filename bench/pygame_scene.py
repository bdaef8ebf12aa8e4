#!/usr/bin/env python3
"""pygame_scene.py: the demo scene in pygame, timed as velmora-bench times its own.

The same art from the data directory (bg.bmp, includes/sun, includes/vikings),
the same places (sun at 480,50; vikings at 150,300 and 350,300), speeds (1, 1,
1.5) and frame timing (a frame changes when the ticks since the last change
exceed its pause times the speed, at most once per pass), drawn the way
pygame programs usually do it: a RenderUpdates group, Group.clear with the
background, and display.update of the rectangles that draw returns.

Usage: pygame_scene.py --data DIR --passes N [--warmup N] [--marks]
Prints one line:
  rate=<passes/s> cpu_rate=<passes/s> restore=<share> draw=<share> present=<share>
The video driver follows SDL_VIDEODRIVER (dummy, x11 or wayland), as the
benchmark sets it.

With --marks it lets the benchmark count the frames that its rated run shows:
it first prints "window=<X11 window id, or 0>", then "mark rated-start" before
the rated run and "mark rated-end" after it, and after each of these lines it
waits for a line on its standard input. When its Wayland requests are logged
(WAYLAND_DEBUG), it writes each mark on standard error too, where the log goes:
"velmora-bench: mark NAME".
"""
import argparse
import os
import sys
import time

os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
import pygame  # noqa: E402


def load_set(directory):
    """Frames of a set as (surface, pause) pairs, read from its info file as the
    engine reads it: a "FILES: n" header, then "name pause r g b" lines, where
    comments and blank lines are skipped and a red above 0 sets the colour key."""
    frames = []
    with open(os.path.join(directory, "info")) as info:
        count = int(info.readline().split(":")[1])
        fields = ["", 0, 0, 0, 0]
        for line in info:
            if len(frames) == count:
                break
            if not line.strip() or line.startswith("#"):
                continue
            parts = line.split()
            for i, part in enumerate(parts[:5]):
                fields[i] = part if i == 0 else int(part)
            name, pause, r, g, b = fields
            image = pygame.image.load(os.path.join(directory, name))
            if r > 0:
                image.set_colorkey((r, g, b))
            frames.append((image.convert(), pause))
    return frames


class SceneSprite(pygame.sprite.Sprite):
    def __init__(self, frames, x, y, speed):
        super().__init__()
        self.frames = frames
        self.speed = speed
        self.frame = 0
        self.last_update = 0
        self.image = frames[0][0]
        self.rect = self.image.get_rect(topleft=(x, y))

    def update(self, now):
        if len(self.frames) > 1 and now - self.last_update > self.frames[self.frame][1] * self.speed:
            self.frame = (self.frame + 1) % len(self.frames)
            self.last_update = pygame.time.get_ticks()
            self.image = self.frames[self.frame][0]
            self.rect = self.image.get_rect(topleft=self.rect.topleft)


def run(group, screen, background, passes, phases=None):
    """Runs the passes; with a phases list, adds each phase's seconds to it."""
    clock = time.perf_counter
    for _ in range(passes):
        t0 = clock() if phases else 0
        group.clear(screen, background)
        t1 = clock() if phases else 0
        group.update(pygame.time.get_ticks())
        rects = group.draw(screen)
        t2 = clock() if phases else 0
        pygame.display.update(rects)
        if phases:
            t3 = clock()
            phases[0] += t1 - t0
            phases[1] += t2 - t1
            phases[2] += t3 - t2


def mark(name):
    """Tells the benchmark where the run is, and waits until it has counted."""
    if os.environ.get("WAYLAND_DEBUG"):
        print(f"velmora-bench: mark {name}", file=sys.stderr, flush=True)
    print(f"mark {name}", flush=True)
    sys.stdin.readline()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", required=True)
    parser.add_argument("--passes", type=int, default=1000)
    parser.add_argument("--warmup", type=int, default=100)
    parser.add_argument("--marks", action="store_true")
    args = parser.parse_args()

    pygame.display.init()
    screen = pygame.display.set_mode((1024, 768), 0, 32)
    try:
        background = pygame.image.load(os.path.join(args.data, "bg.bmp")).convert()
        sun_set = load_set(os.path.join(args.data, "includes", "sun"))
        viking_set = load_set(os.path.join(args.data, "includes", "vikings"))
    except (OSError, ValueError, IndexError, pygame.error) as error:
        print(f"pygame_scene: cannot load the scene from {args.data}: {error}", file=sys.stderr)
        return 1
    screen.blit(background, (0, 0))
    pygame.display.flip()

    group = pygame.sprite.RenderUpdates(
        SceneSprite(sun_set, 480, 50, 1.0),
        SceneSprite(viking_set, 150, 300, 1.0),
        SceneSprite(viking_set, 350, 300, 1.5),
    )

    if args.marks:
        # pygame 2.1.2 crashes asking SDL 2.26 for a Wayland window's details.
        x11 = pygame.display.get_driver() == "x11"
        print(f"window={pygame.display.get_wm_info().get('window', 0) if x11 else 0}", flush=True)
        sys.stdin.readline()
    run(group, screen, background, args.warmup)
    if args.marks:
        mark("rated-start")
    wall, cpu = time.perf_counter(), time.thread_time()
    run(group, screen, background, args.passes)
    wall, cpu = time.perf_counter() - wall, time.thread_time() - cpu
    if args.marks:
        mark("rated-end")

    phases = [0.0, 0.0, 0.0]
    run(group, screen, background, args.passes, phases)
    total = sum(phases) or 1.0
    print(f"rate={args.passes / wall:.1f} cpu_rate={args.passes / max(cpu, 1e-9):.1f} "
          f"restore={phases[0] / total:.4f} draw={phases[1] / total:.4f} "
          f"present={phases[2] / total:.4f}")
    pygame.quit()
    return 0


if __name__ == "__main__":
    sys.exit(main())
