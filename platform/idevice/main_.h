#pragma once

// The device tool's entry for the backup service's switches. Accepts exactly the argument vector
// { "", "-u", <udid>, "cloud", "on"|"off" } (argc 5): asks the phone's backup service to turn its
// iCloud backup on or off and waits for the phone's closing report. The first argument is unused.
// Returns 0 when the phone reported success, 1 for an argument vector it does not accept, and a
// negative code (or the phone's error code) when the phone could not be reached or refused.
int main_(int flags, int argc, char **argv);
