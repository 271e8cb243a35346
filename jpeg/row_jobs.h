// A split decode's work on the picture's MCU rows, as jobs that each go through the rows in
// order, a slice of rows at a time; a job's row waits until the jobs it comes after have
// finished that row. The threads of the decode take slices wherever one is ready.
#pragma once

#include <cstdint>

constexpr int kMaxRowJobs = 64;

struct RowJob {
  int32_t rows;      // rows to go through
  int32_t slice;     // rows a thread takes at a time
  uint32_t cost;     // work per row, counted against a call's budget
  uint64_t after;    // bit u: row r waits until job u has finished row r
  int8_t leads;      // a job this one may run at most `lead` rows ahead of, or -1
  int32_t lead;
  uint8_t parallel;  // several threads may take slices of it at once
  int8_t thread;     // the one thread that takes it, first of all its jobs; -1 for any
  // Progress, kept by RunRowJobs.
  int32_t next;  // first row not yet handed out
  int32_t done;  // rows [0, done) are finished
};

struct RowJobs {
  RowJob job[kMaxRowJobs];
  int count;
  void (*run)(int job, int r0, int r1);  // does rows [r0, r1) of a job
};

// Hands out slices to `threads` threads until every job has finished or `budget` work has
// been handed out, and returns once every slice handed out is finished: true when every job
// has finished.
bool RunRowJobs(RowJobs& jobs, int threads, uint64_t budget);
