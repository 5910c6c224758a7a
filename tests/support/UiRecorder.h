// Test stand-in for the UI seams: records every message box, file request, cursor change and
// URL, and answers file requests and URL opens as the test says.
#pragma once

#include <QList>
#include <QStringList>
#include <vector>

#include "ui/UiSeams.h"

namespace velkaro::test {

struct TUiRecorder {
  QStringList messages;
  QList<ui::TFileRequest> saveRequests;
  QString saveAnswer;  // empty = the user cancels
  std::vector<bool> busy;
  QStringList urls;
  bool openUrlResult = true;
  QStringList urlBoxes;  // URLs given in the box shown when no browser opened them

  void Install() {
    ui::TUiHooks hooks;
    hooks.message = [this](QWidget*, const QString& text, ui::MessageKind) { messages << text; };
    hooks.saveFile = [this](QWidget*, const ui::TFileRequest& request) {
      saveRequests << request;
      return saveAnswer;
    };
    hooks.openFile = [](QWidget*, const ui::TFileRequest&) { return QString(); };
    hooks.busyCursor = [this](bool on) { busy.push_back(on); };
    hooks.openUrl = [this](const QString& url) {
      urls << url;
      return openUrlResult;
    };
    hooks.urlBox = [this](QWidget*, const QString& url) { urlBoxes << url; };
    ui::SetUiHooks(std::move(hooks));
  }
};

}  // namespace velkaro::test
