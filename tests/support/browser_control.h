// Script evaluated in a page that a browser shows, for the picture-against-sound runs of the
// browser build: Chromium through its DevTools protocol on a pair of pipes, Firefox through
// Marionette on a local port. Every call has a deadline; nothing here waits for ever.
#pragma once

#include <memory>
#include <string>

class PageControl {
public:
    virtual ~PageControl() = default;
    // The value of a JavaScript expression in the page, as JSON text; "" after the deadline or
    // on any failure.
    virtual std::string evaluate(const std::string& expression, double seconds = 10.0) = 0;
    // Space pressed and let go, as the browser's own input: a gesture that lets the page play.
    // "" when done, else the browser's answer.
    virtual std::string pressSpace() = 0;
};

// Over the pipes of Chromium's --remote-debugging-pipe: commands written to `commands`, answers
// read from `answers` (this end of each). Attaches to the browser's page within `seconds`;
// nullptr when it does not.
std::unique_ptr<PageControl> chromiumControl(int commands, int answers, double seconds);

// Over Marionette, once the Firefox of the profile folder `profile` has written its port there
// (it was started with --marionette and marionette.port 0); nullptr when that does not happen
// within `seconds`.
std::unique_ptr<PageControl> firefoxControl(const std::string& profile, double seconds);

// A string as a JSON (and JavaScript) string literal.
std::string jsonString(const std::string& text);
// The string of the first "value" in a protocol's answer ("" when there is none), its escapes
// undone as far as the page's own reports need.
std::string stringValue(const std::string& answer);
