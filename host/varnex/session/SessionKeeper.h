#pragma once
// The session of a recording open in the desktop host: File|Save writes it, the Save command is
// enabled only while there is something to save, and closing a window with unsaved changes asks
// first. Also the window that shows how far the opening of a recording has come.
#include <optional>
#include <ostream>
#include <string>

#include "ui/Window.h"
#include "varnex/session/SessionFile.h"

namespace vx::host {
class HrvHostDocument;
}

namespace varnex {

enum class CloseChoice { Save, DontSave, Cancel };

// The dialog ids of the question's buttons (what `--dialog click=ID` presses).
inline constexpr int kSaveButton = 6, kDontSaveButton = 7, kCancelButton = 2;

// Asks whether to save the changes to the recording `title` before its window closes: Save (the
// default button), Don't Save, or Cancel (also Escape and the window's close box).
CloseChoice AskToSaveChanges(vx::ui::HWND owner, const std::wstring& title);

class SessionKeeper {
public:
    // `kept`: why the session file at `path` could not be read or used when the recording was
    // opened; such a file is never replaced (what is in it may still be wanted).
    SessionKeeper(
        vx::host::HrvHostDocument& host, std::string path, std::optional<KeptSession> kept, std::ostream& err);

    const std::string& Path() const { return mPath; }
    // Something the session file does not hold yet.
    bool NeedsSave() const;
    // Writes the session file. A failure is shown to the user in a message box (and in one line
    // on the error stream); the changes then stay unsaved. True once the file is in place.
    bool Save(vx::ui::HWND owner);
    // Whether the window of the recording `title` may close now: yes when nothing is unsaved or
    // the user chose Don't Save, after a successful save when the user chose Save; no when the
    // user cancelled or the save failed.
    bool MayClose(vx::ui::HWND owner, const std::wstring& title);

private:
    vx::host::HrvHostDocument& mHost;
    std::string mPath;
    std::optional<KeptSession> mKept;
    std::ostream& mErr;
};

// A small window, shown while a recording opens, that names the step under way ("Opening 100:
// reading the recording (step 1 of 4)"). The display is brought up to date at each step, since
// the steps run on the user-interface thread. Closed when it goes.
class LoadProgress {
public:
    LoadProgress(const std::wstring& title, int steps);
    ~LoadProgress();
    LoadProgress(const LoadProgress&) = delete;
    LoadProgress& operator=(const LoadProgress&) = delete;

    void Step(const std::wstring& what);
    vx::ui::HWND Window() const { return mWindow; }
    std::wstring Text() const;

private:
    std::wstring mTitle;
    int mSteps;
    int mStep = 0;
    vx::ui::HWND mWindow = nullptr;
    vx::ui::HWND mText = nullptr;
    int mCursor = 0;
};

} // namespace varnex
