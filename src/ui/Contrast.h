#pragma once

#include <QColor>

// The contrast ratio of two colours, from 1 to 21, as WCAG 2.1 defines it: `one` as it shows
// over `other`, which is taken as opaque.
double contrastRatio(const QColor& one, const QColor& other);

// `colour`, darkened on a light background or lightened on a dark one as little as it takes to
// stand out from `background` by at least `ratio` (4.5 for text, 3 for controls).
QColor readableOn(const QColor& colour, const QColor& background, double ratio);
