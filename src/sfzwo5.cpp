// SPDX-License-Identifier: MIT
// Vantrel's window program: its own options first (--help and --version
// need no display), then the application, the main window and the hidden
// about box, and the message loop until the main window ends it.

#include <QApplication>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#ifdef VANTREL_XCB
#include <xcb/xcb.h>
#endif

#include "ui/about2.h"
#include "ui/application.h"
#include "ui/wavextract19.h"

namespace {

// The window's own options; the toolkit's (-platform, -display ...) are
// left for it. Filled in twice: before the toolkit starts, for --help and
// --version, and after it has taken its own options, for the path.
struct WindowOptions {
  std::string path;
};

void describe(CLI::App& app, WindowOptions& options) {
  app.description(
      "Vantrel converts the sample banks of .tti files into WAV, SoundFont 2, SFZ and DecentSampler files.\n"
      "The window needs a display; vantrel-cli offers the same conversions without one.");
  app.set_version_flag("--version", std::string("vantrel ") + VANTREL_VERSION);
  app.add_option("PATH", options.path,
                 "A folder to open as the source folder, a bank to open its folder on, "
                 "or a disc image or archive to open inside");
  app.footer("The toolkit's own options are taken too, among them -platform NAME and -display DISPLAY.");
}

// The platform the toolkit will start: -platform NAME, else
// QT_QPA_PLATFORM; empty for the toolkit's own choice.
std::string_view platformAsked(int argc, char** argv, const char*& display) {
  std::string_view platform;
  if (const char* env = std::getenv("QT_QPA_PLATFORM")) platform = env;
  for (int k = 1; k + 1 < argc; ++k) {
    if (std::strcmp(argv[k], "-platform") == 0) platform = argv[k + 1];
    if (std::strcmp(argv[k], "-display") == 0) display = argv[k + 1];
  }
  return platform;
}

// Whether the toolkit can open a window: the toolkit itself aborts the
// process when its platform finds no display, so the program looks first.
// Platforms that need no display (offscreen, vnc ...) are taken as they are.
bool displayAnswers(int argc, char** argv) {
  const char* display = std::getenv("DISPLAY");
  const std::string_view platform = platformAsked(argc, argv, display);
  const bool x11 = platform.empty() || platform.substr(0, 3) == "xcb";
  const bool wayland = platform.empty() || platform.substr(0, 7) == "wayland";
  if (!x11 && !wayland) return true;
  if (wayland) {
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    if (socket && *socket) return true;
  }
  if (!x11 || !display || !*display) return false;
#ifdef VANTREL_XCB
  xcb_connection_t* connection = xcb_connect(display, nullptr);
  const bool answers = connection && xcb_connection_has_error(connection) == 0;
  if (connection) xcb_disconnect(connection);
  return answers;
#else
  return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  {
    CLI::App app("vantrel", "vantrel");
    WindowOptions options;
    describe(app, options);
    app.allow_extras();
    try {
      app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
      return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
      return app.exit(e);
    } catch (const CLI::ParseError&) {
      // The toolkit's options are read by the toolkit.
    }
  }

  if (!displayAnswers(argc, argv)) {
    std::fprintf(stderr, "vantrel: no display to open the window on; vantrel-cli converts without one\n");
    return 1;
  }
  QApplication qt(argc, argv);
  vantrel::initialiseApplication();

  CLI::App app("vantrel", "vantrel");
  WindowOptions options;
  describe(app, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  vantrel::TForm1 Form1;
  if (!options.path.empty()) {
    const std::string failure = Form1.setStartPath(options.path);
    if (!failure.empty()) {
      std::fprintf(stderr, "vantrel: %s\n", failure.c_str());
      return 1;
    }
  }
  vantrel::TAbout About;
  Form1.setAboutBox(&About);
  QObject::connect(&Form1, &vantrel::TForm1::applicationEnding, &qt, &QApplication::quit);
  Form1.show();
  return qt.exec();
}
