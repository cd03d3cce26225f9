#include "imaging/LosslessTurn.h"

// Placeholder until lossless turns are built: nothing is touched.

bool CanTurnLosslessly(const std::string&) {
    return false;
}
TurnOutcome TurnJpeg(const std::string& path, Turn turn, const TurnOptions&) {
    TurnOutcome t;
    t.turn = turn;
    t.outcome.source = path;
    t.outcome.reason = "Not built yet";
    return t;
}
TurnOutcome UndoTurn(const std::string& path, const TurnOutcome& done, const TurnOptions&) {
    return TurnJpeg(path, done.turn, {});
}
