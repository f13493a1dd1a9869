// Escape sequences that curses did not turn into a key code: a key the terminal description
// does not know (Shift-End, Ctrl-Right, a function key) reaches the viewer as Esc and then
// plain bytes, which must not be taken as commands. The scan swallows such a sequence whole
// (ESC "[" parameters and a final byte, or ESC "O" and one byte) and gives one special key
// for it; Esc with nothing after it within the escape delay is a key of its own. A terminal's
// control string (ESC "P", "]", "_", "^" or "X", answers and reports a terminal may send) is
// swallowed whole too, up to its ST (ESC "\\"), or BEL for an ESC "]" one; an ESC within it
// that starts no ST is part of it (a multiplexer passes sequences through inside one).
#pragma once

#include "viewer/screen.hpp"

namespace viewer {

inline constexpr int kEsc = 0x1b;
inline constexpr int kReadOn = -100;  // scan_key: read the next code within the escape delay
// The most codes a control string swallows: one whose terminator was lost ends there as one
// special key, and what follows is read as keys again.
inline constexpr int kControlStringLimit = 4096;

struct KeyScan {
  enum At { text, esc, csi, ss3, control_string, control_string_esc };
  At at = text;
  int taken = 0;          // codes of the control string swallowed so far
  bool bel_ends = false;  // the control string is an ESC "]" one
};

// Takes the next code from the key read: a key, kNoKey when the escape delay ran out inside
// a sequence, or one of the other events. Returns what the viewer acts on, or kReadOn.
constexpr int scan_key(KeyScan& st, int code) {
  const KeyScan::At at = st.at;
  st.at = KeyScan::text;
  if (code == kInputEnded || code == kResized) return code;  // never lost inside a sequence
  switch (at) {
    case KeyScan::text:
      if (code != kEsc) return code;
      st.at = KeyScan::esc;
      return kReadOn;
    case KeyScan::esc:
      if (code == kNoKey) return kEsc;  // Esc alone
      if (code == kEsc) {
        st.at = KeyScan::esc;  // a Meta prefix before a sequence
        return kReadOn;
      }
      if (code == '[') {
        st.at = KeyScan::csi;
        return kReadOn;
      }
      if (code == 'O') {
        st.at = KeyScan::ss3;
        return kReadOn;
      }
      if (code == 'P' || code == ']' || code == '_' || code == '^' || code == 'X') {
        st.at = KeyScan::control_string;
        st.taken = 0;
        st.bel_ends = code == ']';
        return kReadOn;
      }
      return kSpecialKey;  // Esc and a key at once: the terminal's Meta prefix
    case KeyScan::csi:
      // Parameter and intermediate bytes go on; a final byte, or anything else, ends it.
      if (code >= 0x20 && code <= 0x3F) {
        st.at = KeyScan::csi;
        return kReadOn;
      }
      if (code == kEsc) {
        st.at = KeyScan::esc;  // one cut short: the next is swallowed too, and ends the wait
        return kReadOn;
      }
      return kSpecialKey;
    case KeyScan::control_string:
    case KeyScan::control_string_esc:
      // A delay that ran out ends it, and so does the length limit.
      if (code == kNoKey || ++st.taken >= kControlStringLimit) return kSpecialKey;
      if (at == KeyScan::control_string_esc && code == '\\') return kSpecialKey;
      if (at == KeyScan::control_string && st.bel_ends && code == '\a') return kSpecialKey;
      st.at = code == kEsc ? KeyScan::control_string_esc : KeyScan::control_string;
      return kReadOn;
    case KeyScan::ss3:
    default: return kSpecialKey;
  }
}

}  // namespace viewer
