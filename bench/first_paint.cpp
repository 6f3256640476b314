// The time from starting a program to its first window being drawn on an X display (Xvfb in
// practice), read from the screen itself.
//
//   first_paint [--runs N] --target NAME X,Y,W,H COMMAND [--target ...]
//
// COMMAND is the program and its arguments separated by spaces. Each target is run once first to
// learn what its window looks like: a grid of points in the rectangle X,Y,W,H (where the window
// appears), read once it holds still, 2 s after start at the earliest; the points whose colour then
// differs from the empty screen are the ones watched. Then the targets are run in turn, N times
// each (A, B, A, B, ...), so that a change in the machine's load falls on all alike. A run
// measures, from just before fork() with the monotonic clock:
//   first: the first time any watched point has changed from the empty screen;
//   drawn: the first time every watched point shows the window's final colour.
// The screen is polled about every millisecond. The program is then stopped with SIGTERM, and the
// next run waits until the screen is empty again.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Point {
    int x = 0;
    int y = 0;
    unsigned long empty = 0;  // colour on the empty screen
    unsigned long drawn = 0;  // colour once the window is drawn
};

struct Target {
    std::string name;
    int x = 0, y = 0, w = 0, h = 0;
    std::vector<std::string> command;
    std::vector<Point> points;
    std::vector<double> first;  // ms
    std::vector<double> drawn;  // ms
};

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

void sleepMs(double ms) {
    timespec t{};
    t.tv_sec = static_cast<time_t>(ms / 1000);
    t.tv_nsec = static_cast<long>((ms - static_cast<double>(t.tv_sec) * 1000) * 1e6);
    nanosleep(&t, nullptr);
}

class ScreenReader {
public:
    ScreenReader() : display_(XOpenDisplay(nullptr)) {
        if (display_ == nullptr) {
            throw std::runtime_error("cannot open the display named by DISPLAY");
        }
        root_ = DefaultRootWindow(display_);
    }
    ~ScreenReader() { XCloseDisplay(display_); }
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    unsigned long pixel(int x, int y) {
        XImage* image = XGetImage(display_, root_, x, y, 1, 1, AllPlanes, ZPixmap);
        if (image == nullptr) {
            throw std::runtime_error("XGetImage failed");
        }
        const unsigned long value = XGetPixel(image, 0, 0);
        XDestroyImage(image);
        return value;
    }

private:
    Display* display_;
    Window root_;
};

pid_t start(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The program's own messages mean nothing here.
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    return pid;
}

void stop(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return;
        }
        sleepMs(10);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
}

bool exited(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

void waitUntilEmpty(ScreenReader& screen, const std::vector<Point>& points) {
    const double deadline = nowMs() + 10000;
    for (;;) {
        bool empty = true;
        for (const Point& p : points) {
            empty = empty && screen.pixel(p.x, p.y) == p.empty;
        }
        if (empty) {
            return;
        }
        if (nowMs() > deadline) {
            throw std::runtime_error("the screen did not clear after the program stopped");
        }
        sleepMs(10);
    }
}

void learn(ScreenReader& screen, Target& target) {
    constexpr int kGrid = 5;
    std::vector<Point> grid;
    for (int j = 0; j < kGrid; ++j) {
        for (int i = 0; i < kGrid; ++i) {
            Point p;
            p.x = target.x + target.w * (2 * i + 1) / (2 * kGrid);
            p.y = target.y + target.h * (2 * j + 1) / (2 * kGrid);
            p.empty = screen.pixel(p.x, p.y);
            grid.push_back(p);
        }
    }
    const pid_t pid = start(target.command);
    // At least 2 s, and then until the rectangle has changed and holds still for half a second: a
    // first program in a fresh Wine prefix, on a busy machine, can take longer to appear.
    sleepMs(2000);
    const double deadline = nowMs() + 20000;
    std::vector<unsigned long> before;
    for (;;) {
        if (exited(pid)) {
            throw std::runtime_error(target.name + " ended before its window was drawn");
        }
        std::vector<unsigned long> now;
        int changed = 0;
        for (const Point& p : grid) {
            now.push_back(screen.pixel(p.x, p.y));
            changed += now.back() != p.empty ? 1 : 0;
        }
        if ((changed >= 3 && now == before) || nowMs() > deadline) {
            break;
        }
        before = now;
        sleepMs(500);
    }
    for (Point& p : grid) {
        p.drawn = screen.pixel(p.x, p.y);
        if (p.drawn != p.empty) {
            target.points.push_back(p);
        }
    }
    stop(pid);
    if (target.points.size() < 3) {
        throw std::runtime_error(target.name + ": fewer than 3 points of its rectangle change");
    }
    waitUntilEmpty(screen, target.points);
}

void measure(ScreenReader& screen, Target& target) {
    const double deadline = nowMs() + 20000;
    const double started = nowMs();
    const pid_t pid = start(target.command);
    double first = -1;
    for (;;) {
        bool all = true;
        bool any = false;
        for (const Point& p : target.points) {
            const unsigned long now = screen.pixel(p.x, p.y);
            all = all && now == p.drawn;
            any = any || now != p.empty;
        }
        const double at = nowMs() - started;
        if (any && first < 0) {
            first = at;
        }
        if (all) {
            target.first.push_back(first);
            target.drawn.push_back(at);
            break;
        }
        if (nowMs() > deadline || exited(pid)) {
            stop(pid);
            throw std::runtime_error(target.name + " was not drawn within 20 s");
        }
        sleepMs(1);
    }
    stop(pid);
    waitUntilEmpty(screen, target.points);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 10;
    std::vector<Target> targets;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--target") == 0 && i + 3 < argc) {
            Target t;
            t.name = argv[++i];
            if (std::sscanf(argv[++i], "%d,%d,%d,%d", &t.x, &t.y, &t.w, &t.h) != 4) {
                std::fprintf(stderr, "bad rectangle %s\n", argv[i]);
                return 2;
            }
            std::istringstream words(argv[++i]);
            for (std::string w; words >> w;) {
                t.command.push_back(w);
            }
            targets.push_back(t);
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] --target NAME X,Y,W,H COMMAND ...\n",
                         argv[0]);
            return 2;
        }
    }
    if (targets.empty() || runs <= 0) {
        std::fprintf(stderr, "usage: %s [--runs N] --target NAME X,Y,W,H COMMAND ...\n", argv[0]);
        return 2;
    }
    try {
        ScreenReader screen;
        for (Target& t : targets) {
            learn(screen, t);
        }
        for (int r = 0; r < runs; ++r) {
            for (Target& t : targets) {
                measure(screen, t);
            }
        }
        std::printf("%-18s %7s %11s %11s %11s %11s  %s\n", "program", "points", "first med",
                    "drawn med", "drawn min", "drawn max", "drawn, each run (ms)");
        for (const Target& t : targets) {
            std::printf("%-18s %7zu %8.0f ms %8.0f ms %8.0f ms %8.0f ms  ", t.name.c_str(),
                        t.points.size(), median(t.first), median(t.drawn),
                        *std::min_element(t.drawn.begin(), t.drawn.end()),
                        *std::max_element(t.drawn.begin(), t.drawn.end()));
            for (double d : t.drawn) {
                std::printf("%.0f ", d);
            }
            std::printf("\n");
        }
        if (targets.size() == 2) {
            std::printf("%s/%s, drawn: %.2fx\n", targets[0].name.c_str(), targets[1].name.c_str(),
                        median(targets[0].drawn) / median(targets[1].drawn));
        }
        return 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "first_paint: %s\n", failure.what());
        return 1;
    }
}
