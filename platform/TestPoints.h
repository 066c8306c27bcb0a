// Named points in the work of the deliverables where a test can watch, hold or end the
// process, to see what another process or a kill finds at that moment. Test builds only
// (SETRIX_TEST_POINTS); elsewhere a point costs nothing. Used by the Btrieve exports'
// dictionary and alias handling and by ecdump.
//
// A test steers a process it starts through its environment:
//   SETRIX_TEST_KILL_AT=<n>     the process ends at once (exit code TestPointKillCode) on
//                               reaching its n-th point, counted from 1 across the process;
//   SETRIX_TEST_KILL_AT=<name>  ... on reaching the first point of that name;
//   SETRIX_TEST_EVENTS=<prefix> on reaching point P the process sets the named event
//                               "<prefix>.P" when the test made one, then, when the test
//                               made an event "<prefix>.P.go", waits until the test sets it.
#pragma once

namespace platform {

// The exit code of a process ended at a point.
inline constexpr unsigned TestPointKillCode = 0x7E57;

#ifdef SETRIX_TEST_POINTS
void TestPoint(const char* name);
#else
inline void TestPoint(const char*) {}
#endif

}  // namespace platform
