// Runs the wizard frame modally in the test's own thread and acts on it from timers.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/SetupDlg.h"

namespace wt {

struct ButtonState {
    bool visible;
    bool enabled;
    std::string text;
};

// What the user sees of the wizard.
struct WizardView {
    int step;
    bool pages[4]; // welcome, folder, installing, finish visible
    ButtonState back, next, cancel;
    std::string folderEdit;
    bool closeGreyed;
};

WizardView Look(CSetupDlg& dlg);
std::string Describe(const WizardView& v);
bool operator==(const WizardView& a, const WizardView& b);

// Constructs nothing: runs dlg modally as the application's main window, calls body
// once the frame is up, and closes the frame afterwards unless body ended the run.
// Returns DoModal's result; *pClosedByBody tells whether the run ended before the
// helper closed it. A run that ends before body was called is a failure.
INT_PTR RunFrame(CSetupDlg& dlg, const std::function<void()>& body, bool* pClosedByBody = nullptr);

// Opens the exit question with the frame's Cancel button, calls inQuestion with the
// question's window once it shows, and returns when the question has closed. FALSE
// when no question appeared.
bool WithQuestion(CSetupDlg& dlg, const std::function<void(HWND)>& inQuestion);

// The text of a window or control.
std::string Text(HWND h);

} // namespace wt

namespace wt {

// Saves registry values under HKEY_LOCAL_MACHINE and puts them back (or removes them
// when they did not exist) when the object goes.
class SavedRegistryValues {
public:
    SavedRegistryValues(const char* subKey, std::initializer_list<const char*> names);
    ~SavedRegistryValues();
    SavedRegistryValues(const SavedRegistryValues&) = delete;
    SavedRegistryValues& operator=(const SavedRegistryValues&) = delete;

private:
    struct Value {
        std::string name;
        bool existed;
        DWORD type;
        std::string data;
    };
    std::string m_subKey;
    std::vector<Value> m_values;
};

} // namespace wt
