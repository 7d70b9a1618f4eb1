// The Windows port's message queue, shared by its window and its frame loop: the main loop
// takes one message a pass and draws only when none was waiting.
#pragma once

enum class MessagePass {
    None,     // nothing was waiting
    Handled,  // one message was taken and dispatched
    Quit,     // WM_QUIT was taken: the loop ends without drawing
};

// One PeekMessageA(PM_REMOVE): WM_QUIT is reported (and also as quit by the next
// windowPumpEvents), anything else translated and dispatched to its window procedure.
MessagePass windowTakeMessage();
// While the frame loop takes the messages itself, windowPumpEvents only hands over what the
// window procedure saw; otherwise it takes every waiting message first.
void windowLoopTakesMessages(bool taking);
