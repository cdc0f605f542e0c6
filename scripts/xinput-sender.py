#!/usr/bin/env python3
"""Sends key presses and wheel clicks to the X display's focused window from one resident process.

scripts/latency-xvfb.sh times key press to picture. An `xdotool` process per action exits while the
viewer handles the key it sent: on a 2-core machine its teardown and the shell it wakes took the
cores the viewer needed (about 1 ms more from the key to the frame's start, on average), which a
user's key press never brings with it. This process stays: it reads one command a line from its
standard input, sends it through libxdo (the library `xdotool` itself uses, installed with it) and
answers `ok` once the input is sent:
  key SEQUENCE        as `xdotool key --delay 0 SEQUENCE` (ctrl+Left, Next, ...)
  click BUTTON        as `xdotool click BUTTON` (4 and 5 are the wheel)
  ctrlclick BUTTON    the button with Ctrl held (pressed 50 ms before it)
"""
import ctypes
import sys
import time

CURRENT_WINDOW = 0  # libxdo's CURRENTWINDOW: the input goes through XTEST, as from the keyboard
# A hand holds Ctrl down a while before it turns the wheel; the viewer handles the Ctrl press first.
CTRL_BEFORE_WHEEL_SECONDS = 0.05


def main():
    xdo = ctypes.CDLL("libxdo.so.3")
    xdo.xdo_new.restype = ctypes.c_void_p
    xdo.xdo_new.argtypes = [ctypes.c_char_p]
    for name in ("xdo_send_keysequence_window", "xdo_send_keysequence_window_down", "xdo_send_keysequence_window_up"):
        getattr(xdo, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_char_p, ctypes.c_uint]
    xdo.xdo_click_window.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int]
    handle = xdo.xdo_new(None)
    if not handle:
        print("xinput-sender: cannot open the display", file=sys.stderr)
        return 1
    for line in sys.stdin:
        words = line.split()
        if len(words) != 2:
            print(f"xinput-sender: not a command: {line.strip()}", file=sys.stderr)
            return 1
        command, argument = words
        if command == "key":
            xdo.xdo_send_keysequence_window(handle, CURRENT_WINDOW, argument.encode(), 0)
        elif command == "click":
            xdo.xdo_click_window(handle, CURRENT_WINDOW, int(argument))
        elif command == "ctrlclick":
            xdo.xdo_send_keysequence_window_down(handle, CURRENT_WINDOW, b"ctrl", 0)
            time.sleep(CTRL_BEFORE_WHEEL_SECONDS)
            xdo.xdo_click_window(handle, CURRENT_WINDOW, int(argument))
            xdo.xdo_send_keysequence_window_up(handle, CURRENT_WINDOW, b"ctrl", 0)
        else:
            print(f"xinput-sender: unknown command {command}", file=sys.stderr)
            return 1
        print("ok", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
