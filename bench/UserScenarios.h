#pragma once

// One user's copy of the agent against the stand-in Slack, which keeps Slack's limits, in two
// scenarios. Each prints its figures and returns the exit status: 0 when all meet their
// targets, 1 when one misses, 2 when the copy could not be run.

// One track plays for five minutes: the most calls in any two minutes, launch included.
int steadyTrack();
// The user skips to a new track every 2 s for a minute: calls refused, and the time from the
// last skip until Slack shows the last track.
int fastSkipping();
