#pragma once

#include <QList>
#include <QString>
#include <chrono>

// What every part of the benchmark shares: its clock, the way it reads figures out of samples,
// and the way it prints them.

using SteadyClock = std::chrono::steady_clock;

double milliseconds(SteadyClock::duration duration);

// The nearest-rank percentile of `values`; 0 when there are none.
double percentile(QList<double> values, double share);

// Run in each program the bench starts: the program ends when the bench does, however it ends.
void endWithTheBench();

// Prints one line per figure: its name, its value, its target and whether it meets it.
class FigureLines {
  public:
    void line(const QString& figure, const QString& value, const QString& target, bool pass);
    // A line that only informs: no target.
    void note(const QString& figure, const QString& value);
    bool allPass() const { return allPass_; }

  private:
    bool allPass_ = true;
};
