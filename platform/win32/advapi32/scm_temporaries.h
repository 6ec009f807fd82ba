// The temporary files through which the service database replaces a record (scm_store.h). A writer killed
// between writing its temporary and renaming it over the record leaves the temporary behind. So its name
// says whose it is, RECORD.tmpPID-STARTTIME (the process identity of process_identity.h, which a reused pid
// does not share), and each opening of the database for changes removes the temporaries of writers that no
// longer run: a leftover lasts until the next change at most, and a live writer's file is never touched,
// whether or not the file system knows the database's lock.
//
// Not O_TMPFILE, which leaves nothing behind at all: linkat() cannot put the file in place of the old
// record, so it would need a name of its own before the rename all the same, and not every file system
// that may hold the database has it.
#pragma once
#include <string>

namespace kvplat {

// The name of this process's temporary for the record file `recordFile`.
std::string TemporaryRecordName(const std::string &recordFile);

// Removes from the database folder `folder` (named `path` in messages) the temporaries of writers that have
// ended, including those named RECORD.tmpPID before the start time was part of the name. A file that cannot
// be removed is said on standard error.
void RemoveEndedWritersTemporaries(int folder, const std::string &path);

}  // namespace kvplat
