// The reaction of the libjpeg and libpng readers to a library warning, under
// the image's warning action. Kept apart from the callbacks because it must not
// let an exception escape into the C library.
#pragma once

#include <exception>
#include <string>

#include "pgraphic/formats/fileformat.h"
#include "pgraphic/image/pixelgraphic.h"
#include "pgraphic/messages.h"

namespace pgraphic {

// Applies state->action to a warning `text` of the format `formatName` ("JPG",
// "PNG"). Returns true when the library call must stop: the reason is then
// recorded through setMessage(state, reason), or, when asking the user raised,
// the exception is kept in state->pending.
template <class TState, class TSetMessage>
bool ApplyWarningAction(TState* state, const char* formatName, const char* text,
                        TSetMessage setMessage) {
  try {
    switch (
        AnswerWarning(state->action, std::string(formatName) + " " + LangStr(msgWarning), text)) {
      case TWarningAnswer::GoOn:
        return false;
      case TWarningAnswer::Cancelled:
        setMessage(state, LangStr(msgAborted).c_str());
        return true;
      case TWarningAnswer::Refused:
        setMessage(state, text);
        return true;
    }
  } catch (...) {
    state->pending = std::current_exception();
    return true;
  }
  return false;
}

}  // namespace pgraphic
