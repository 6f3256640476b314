// The raw data viewer's refresh, counted by callgrind: the real window at its defined size, its
// refresh (Timer1_Timer) and the repaint that follows it, 100 times with a 20-row frame that
// stays the same, then 100 times with a 20-row frame that changes in every row each time. Each
// part is dumped on its own through callgrind's client requests (run without valgrind, it only
// runs). bench/refresh_instructions.py runs it under callgrind and prints instructions per
// refresh.
//   QT_QPA_PLATFORM=offscreen refresh_bench
#include <valgrind/callgrind.h>

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "forms/globals.h"
#include "forms/raw.h"

namespace {

constexpr int kRefreshes = 100;

std::string frame(int seed) {
    std::string text;
    for (int i = 0; i < 1200; ++i) {
        text += static_cast<char>('0' + (i * 7 + seed) % 75);
    }
    return text;
}

void refresh(vornel::raw& viewer) {
    viewer.Timer1_Timer();
    QApplication::processEvents();  // the repaint
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vornel::raw viewer(nullptr);
    viewer.show();
    vornel::LastFrame = frame(0);
    for (int i = 0; i < 5; ++i) {
        refresh(viewer);  // the window drawn, and the caches warmed
    }

    std::vector<std::string> frames;
    for (int i = 0; i < kRefreshes; ++i) {
        frames.push_back(frame(i + 1));
    }

    CALLGRIND_ZERO_STATS;
    for (int i = 0; i < kRefreshes; ++i) {
        refresh(viewer);
    }
    CALLGRIND_DUMP_STATS_AT("unchanged");

    for (int i = 0; i < kRefreshes; ++i) {
        vornel::LastFrame = frames[static_cast<std::size_t>(i)];
        refresh(viewer);
    }
    CALLGRIND_DUMP_STATS_AT("changing");
    std::printf("%d refreshes of a 20-row frame unchanged, then %d changing in every row\n",
                kRefreshes, kRefreshes);
    return 0;
}
