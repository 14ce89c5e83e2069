// The job information file "Print_<job-id>.log" in the cache folder: the
// backend writes it as soon as a job starts, with the media class of the
// loaded media, and removes it when the job ends; the filter waits for it and
// picks its colour profile by the MEDIA_CLASS line.
//
// The cache folder may be written by anyone, and the backend runs as root: the
// file is written through ReplaceFile.h (a new file renamed into place, never
// through a link), the printer's information file is read without following a
// link or waiting on a FIFO and only when root (or the backend's own user)
// owns it, and only plain media codes are copied.
#ifndef TQ58_JOBINFOFILE_H
#define TQ58_JOBINFOFILE_H

#include <string>

// True when jobId is a CUPS job ID: 1 to 10 decimal digits.
bool IsJobId(const char* jobId);

// The file name "Print_" + jobId + ".log"; empty when jobId is not a job ID.
std::string GetJobInfoFileName(const char* jobId);

// value when it is a plain media code (1 to 7 ASCII letters or digits), else
// the empty text.
std::string CleanMediaClass(const char* value);

// The MEDIA_CLASS value of the information file of the printer with
// serialText, when that file is a plain file owned by root or by this
// process's user and the value a plain media code; else the empty text (also
// for the offline file, whose value is empty). Blocks on the file system only.
std::string ReadInfoFileMediaClass(const std::string& serialText);

// Writes the line MEDIA_CLASS="mediaClass" (mediaClass cleaned first) as the
// job information file of jobId, mode 0644, after making the cache folders.
// Returns 0, or -1 when nothing was written. Blocks on the file system only.
int WriteJobInfoFile(const char* jobId, const std::string& mediaClass);

// Removes the job information file of jobId (the name only: a link there is
// removed, not followed). Blocks on the file system only.
void RemoveJobInfoFile(const char* jobId);

#endif
