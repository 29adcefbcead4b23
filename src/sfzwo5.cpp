// SPDX-License-Identifier: MIT
// Vantrel's window program: its own options first (--help and --version
// need no display), then the application, the main window and the hidden
// about box, and the message loop until the main window ends it.

#include <QApplication>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

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
