// The match rules without drawing: play steps per millisecond for two computer sides, against two idle human
// sides in the same run, the share of the 12 ms frame one step takes, and what planning one piece costs.
// Prints figures only.
#include <windows.h>

#include <stdio.h>

#include <memory>

#include "game/match/cpu.h"
#include "game/match/next_piece_queue.h"
#include "game/match/player.h"
#include "game/match/player_processer.h"
#include "game/shell/input_poll.h"
#include "game/shell/options.h"
#include "runtime/runtime.h"

#include "bench/bench_timing.h"

namespace {

double NowMs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

struct Round {
    std::shared_ptr<Player> side[2];
    int garbage[2] = {0, 0};
};

Round NewRound(bool computers) {
    Round r;
    if (computers) {
        r.side[0] = Cpu::makeOnSideForTesting(0, 0, 0);
        r.side[1] = std::make_shared<Cpu>(1, 0);
    } else {
        r.side[0] = std::make_shared<Player>(0, 0, 0);
        r.side[1] = std::make_shared<Player>(1, 1, 0);
    }
    r.side[0]->setEnemy(r.side[1]);
    r.side[1]->setEnemy(r.side[0]);
    forcedNextKind = kNoPieceKind;
    resetNextQueue();
    return r;
}

// The match scene's play step for both sides, starting a new round whenever one is won. Returns steps per ms.
double StepsPerMs(bool computers, int steps, int* rounds, int* pieces) {
    PlayerProcesser rules(nullptr);
    Round r = NewRound(computers);
    *rounds = 0;
    *pieces = 0;
    const double start = NowMs();
    for (int i = 0; i < steps; ++i) {
        inputCurrent[0] = inputCurrent[1] = inputPrevious[0] = inputPrevious[1] = 0;
        for (int s = 0; s < 2; ++s) {
            r.side[s]->pendingGarbage += r.garbage[s];
            r.garbage[s] = 0;
            r.side[s]->checkDanger();
        }
        bool won = false;
        for (int s = 0; s < 2; ++s) {
            r.garbage[1 - s] = rules.process(*r.side[s]);
            won = r.side[s]->update() || won;
        }
        if (won) {
            *pieces += r.side[0]->piecesTaken + r.side[1]->piecesTaken;
            ++*rounds;
            r = NewRound(computers);
        }
    }
    const double elapsed = NowMs() - start;
    return elapsed > 0.0 ? steps / elapsed : 0.0;
}

}  // namespace

int main(int argc, char** argv) {
    ReadBenchArguments(argc, argv);
    RandomSetSeed(2026);
    cpuLevel = 2;
    const int steps = Repeats(400000, 4000);
    int rounds = 0, pieces = 0, idleRounds = 0, idlePieces = 0;
    StepsPerMs(true, Repeats(20000, 200), &rounds, &pieces);  // warm-up
    const double idle = StepsPerMs(false, steps, &idleRounds, &idlePieces);
    const double computers = StepsPerMs(true, steps, &rounds, &pieces);
    printf("play steps per ms: %.1f (two computer sides, %d rounds), %.1f (two idle human sides)\n", computers,
           rounds, idle);
    printf("ratio computer / idle: %.2f; one computer step is %.4f%% of the 12 ms frame\n",
           idle > 0.0 ? computers / idle : 0.0, computers > 0.0 ? 100.0 / (computers * 12.0) : 0.0);

    // Planning one piece, on fields taken from a computer round at every 50th step.
    for (int level = 0; level <= 2; ++level) {
        cpuLevel = level;
        PlayerProcesser rules(nullptr);
        Round r = NewRound(true);
        Cpu& cpu = static_cast<Cpu&>(*r.side[1]);
        int plans = 0;
        double planMs = 0.0;
        for (int i = 0, n = Repeats(60000, 600); i < n; ++i) {
            inputCurrent[0] = inputCurrent[1] = inputPrevious[0] = inputPrevious[1] = 0;
            rules.process(*r.side[0]);
            rules.process(*r.side[1]);
            if (r.side[0]->update() || r.side[1]->update()) break;
            if (i % 50 != 0) continue;
            const double t = NowMs();
            for (int k = 0; k < 20; ++k) cpu.planPlacement();
            planMs += NowMs() - t;
            plans += 20;
        }
        printf("planning one piece at strength %d: %.2f us (%d plans)\n", level, plans ? planMs * 1000.0 / plans : 0.0,
               plans);
    }
    resetOptionValues();
    return 0;
}
