// Output names that would collide. Two jobs of a run whose outputs have the same name (case
// ignored, as the Windows file system does) would overwrite each other, and an output that
// is one of the run's own sources would destroy it; such jobs get the file name "s<k>_<base>.jpg"
// in the same directory, with k chosen so that the new name collides with nothing either.
#pragma once

#include "app/batch/ResizeJob.h"

#include <string_view>

namespace vx::batch {

// For each job p in array order, every later job q whose output equals p's (ignoring case)
// gets a new name; p's counter k starts at 1 and grows with each renamed q. The comparison
// uses p's output as it stands when p's turn comes. Returns -1, doing nothing, for a null
// array or a count of 0 or less, otherwise the number of jobs renamed. Jobs without an
// output path are left alone; a job whose new name would not fit loses its output path.
int ResolveNameClashes(ResizeJob* jobs, int count);

// Gives a new name to every job whose output is the same file as one of the run's sources
// (canonical paths, compared by the platform's rules). Returns the number of jobs renamed.
int AvoidOverwritingSources(ResizeJob* jobs, int count);

} // namespace vx::batch
