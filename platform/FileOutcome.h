// What one operation on one file came to: done, skipped, cancelled or failed,
// where the file is now, and why it failed in words a person reads. Every
// operation on the user's files (trash, delete, rename, copy, move, turn)
// answers with this value; nothing is left in a global to read afterwards.
// POSIX and the standard library only.
#pragma once

#include <string>

enum class OutcomeStatus { Done, Skipped, Cancelled, Failed };

struct FileOutcome {
    OutcomeStatus status = OutcomeStatus::Failed;
    std::string source; // the file acted on, absolute
    std::string result; // where it is now (the trashed file, the new name, the copy); empty when
                        // nothing changed
    int error = 0;      // errno of a failure, 0 for none or for a refusal of ours
    std::string reason; // why it failed or was skipped ("Permission denied", "No space left on the
                        // destination"); empty when done

    bool Done() const { return status == OutcomeStatus::Done; }
};
