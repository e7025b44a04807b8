#include "Figures.h"

#include <sys/prctl.h>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>

double milliseconds(SteadyClock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double percentile(QList<double> values, double share) {
    std::sort(values.begin(), values.end());
    const qsizetype rank = qsizetype(std::ceil(share * double(values.size())));
    return values.value(std::max<qsizetype>(rank - 1, 0));
}

void endWithTheBench() {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void FigureLines::line(const QString& figure, const QString& value, const QString& target,
                       bool pass) {
    std::printf("%s %s target %s %s\n", qPrintable(figure.leftJustified(34)),
                qPrintable(value.leftJustified(50)), qPrintable(target.leftJustified(13)),
                pass ? "pass" : "FAIL");
    std::fflush(stdout);
    allPass_ = allPass_ && pass;
}

void FigureLines::note(const QString& figure, const QString& value) {
    std::printf("%s %s\n", qPrintable(figure.leftJustified(34)), qPrintable(value));
    std::fflush(stdout);
}
