#pragma once

// The desktop's browser for a web page, found and started through GIO. This side of the web
// launcher is a module of its own, loaded when the player first asks for the maker's web site:
// GIO and the libraries under it (mount tables, SELinux, the GObject type system) take over a
// megabyte when mapped, and most games never open the site.

#include <cstddef>

extern "C" {

// The module's file name in the program's folder.
#define KELVOR_BROWSER_MODULE "kelvor-browser.so"
// The name of the one function it exports, of type KelvorOpenInBrowser.
#define KELVOR_BROWSER_ENTRY "kelvor_open_in_browser"

enum KelvorBrowserResult {
  kKelvorBrowserNone = 0,        // no application takes such a page and an address
  kKelvorBrowserNotStarted = 1,  // one was found, but it could not be started
  kKelvorBrowserStarted = 2,
};

// Asks the desktop for the default application of the content type of the page at `pagePath`,
// and starts it with `url` as its one argument. The application's executable, as a full path of
// at most `programPathSize` - 1 bytes, is written to `programPath` whenever one was found, and
// an empty string otherwise.
typedef KelvorBrowserResult (*KelvorOpenInBrowser)(const char* pagePath, const char* url,
                                                   char* programPath, size_t programPathSize);

}  // extern "C"
