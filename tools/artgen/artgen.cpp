// Placeholder until the art generator lands: writes a plain background and two one-frame sets.
#include <SDL.h>
#include <sys/stat.h>
#include <string>
#include <cstdio>
static void set(const std::string& dir, Uint32 colour) {
    mkdir(dir.c_str(), 0755);
    SDL_Surface* s = SDL_CreateRGBSurface(SDL_SWSURFACE, 64, 64, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_FillRect(s, nullptr, colour);
    SDL_SaveBMP(s, (dir + "/f0.bmp").c_str());
    FILE* f = fopen((dir + "/info").c_str(), "w");
    fprintf(f, "FILES: 1\nf0.bmp 100 255 0 255\n");
    fclose(f);
}
int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::string out = argv[1];
    mkdir(out.c_str(), 0755);
    mkdir((out + "/includes").c_str(), 0755);
    SDL_Surface* bg = SDL_CreateRGBSurface(SDL_SWSURFACE, 1024, 768, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    SDL_FillRect(bg, nullptr, 0x3060A0);
    SDL_SaveBMP(bg, (out + "/bg.bmp").c_str());
    set(out + "/includes/sun", 0xFFD000);
    set(out + "/includes/vikings", 0x806040);
    return 0;
}
