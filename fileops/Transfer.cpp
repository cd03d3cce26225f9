#include "fileops/Transfer.h"

// Placeholder until transfers are built: every file fails, nothing is touched.

TransferDone TransferFiles(TransferKind, const std::vector<std::string>& sources,
                           const std::string&, const TransferOptions&) {
    TransferDone done;
    for (const std::string& s : sources) {
        FileOutcome o;
        o.source = s;
        o.reason = "Not built yet";
        done.outcomes.push_back(o);
    }
    return done;
}
std::string FreeNameIn(const std::string&, const std::string& name) {
    return name;
}
