#include "varnex/desktop/DialogActions.h"

#include <cstdlib>
#include <memory>
#include <sstream>

#include "foundation/Utf.h"
#include "ui/Controls.h"
#include "ui/Dialog.h"
#include "ui/MessageQueue.h"
#include "ui/Window.h"
#include "ui/gtk/GtkBackend.h"

namespace varnex {

namespace ui = vx::ui;
using vx::ui::HWND;

namespace {

struct Action {
    std::string verb;
    int id = 0;
    std::string value;
};

bool Parse(const std::string& script, std::vector<Action>& actions, std::string& error)
{
    std::stringstream in(script);
    std::string item;
    while (std::getline(in, item, ',')) {
        const auto equals = item.find('=');
        Action a;
        a.verb = item.substr(0, equals);
        const std::string rest = equals == std::string::npos ? "" : item.substr(equals + 1);
        if (a.verb == "shot") {
            a.value = rest;
        } else if (a.verb == "click") {
            a.id = std::atoi(rest.c_str());
        } else if (a.verb == "select" || a.verb == "type") {
            const auto colon = rest.find(':');
            if (colon == std::string::npos) {
                error = "--dialog: " + item + " needs ID:VALUE";
                return false;
            }
            a.id = std::atoi(rest.substr(0, colon).c_str());
            a.value = rest.substr(colon + 1);
        } else {
            error = "--dialog: unknown action " + item;
            return false;
        }
        if (a.verb != "shot" && a.id == 0) {
            error = "--dialog: " + item + " needs a control id";
            return false;
        }
        actions.push_back(a);
    }
    return true;
}

void Run(HWND dialog, const std::vector<Action>& actions, std::ostream& err)
{
    for (const Action& a : actions) {
        HWND control = a.verb == "shot" ? dialog : ui::GetDlgItem(dialog, a.id);
        if (!control) {
            err << "varnex open: the dialog has no control " << a.id << "\n";
            continue;
        }
        if (a.verb == "shot") {
            ui::UpdateWindow(dialog);
            ui::RunGtkUntil([] { return false; }, 300);
            ui::BitmapPtr shot = ui::ScreenshotWindow(dialog);
            if (!shot || !shot->SavePng(a.value))
                err << "varnex open: cannot write the screenshot " << a.value << "\n";
        } else if (a.verb == "select") {
            ui::SendMessage(control, ui::CB_SETCURSEL, static_cast<ui::WPARAM>(std::atoi(a.value.c_str())), 0);
            ui::SendMessage(dialog, ui::WM_COMMAND, ui::MAKEWPARAM(static_cast<unsigned>(a.id), ui::CBN_SELCHANGE),
                reinterpret_cast<ui::LPARAM>(control));
        } else if (a.verb == "type") {
            ui::SetWindowText(control, L"");
            for (wchar_t c : KEL::Utf8ToWide(a.value))
                ui::SendMessage(control, ui::WM_CHAR, static_cast<ui::WPARAM>(c), 0);
        } else if (a.verb == "click") {
            ui::SendMessage(dialog, ui::WM_COMMAND, ui::MAKEWPARAM(static_cast<unsigned>(a.id), ui::BN_CLICKED),
                reinterpret_cast<ui::LPARAM>(control));
        }
        if (!ui::IsWindow(dialog) || !ui::IsWindowVisible(dialog))
            return; // ended
    }
}

} // namespace

bool CheckDialogActions(const std::vector<std::string>& scripts, std::string& error)
{
    for (const std::string& s : scripts) {
        std::vector<Action> actions;
        if (!Parse(s, actions, error))
            return false;
    }
    return true;
}

void InstallDialogActions(std::vector<std::string> scripts, std::ostream& err)
{
    if (scripts.empty())
        return;
    auto queue = std::make_shared<std::vector<std::vector<Action>>>();
    for (const std::string& s : scripts) {
        std::string error;
        queue->emplace_back();
        Parse(s, queue->back(), error);
    }
    auto next = std::make_shared<std::size_t>(0);
    ui::SetDialogScript([queue, next, &err](HWND dialog) {
        if (*next >= queue->size())
            return;
        const std::vector<Action> actions = (*queue)[(*next)++];
        Run(dialog, actions, err);
    });
}

} // namespace varnex
