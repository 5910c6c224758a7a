// Test stand-in for the UI seams: records every message box, file request, cursor change and
// URL, and answers file requests and URL opens as the test says. The one recorder of the GUI
// tests: no test installs hooks of its own.
#pragma once

#include <QList>
#include <QStringList>
#include <functional>
#include <vector>

#include "ui/UiSeams.h"

namespace velkaro::test {

struct TUiRecorder {
  QStringList messages;
  QList<ui::MessageKind> kinds;  // one per message
  // Runs while the box would be open, after its text was recorded.
  std::function<void(const QString& text)> onMessage;
  QList<ui::TFileRequest> saveRequests;
  QString saveAnswer;  // empty = the user cancels
  QList<ui::TFileRequest> openRequests;
  QString openAnswer;  // empty = the user cancels
  QStringList questions;
  bool questionAnswer = false;  // No, as the box's default
  // Runs while the question would be open, after its text was recorded.
  std::function<void(const QString& text)> onQuestion;
  std::vector<bool> busy;
  QStringList urls;
  bool openUrlResult = true;
  QStringList urlBoxes;  // URLs given in the box shown when no browser opened them

  // Replaces the real boxes and choosers, and routes the device operations' busy cursor here.
  void Install() {
    ui::TUiHooks hooks;
    hooks.message = [this](QWidget*, const QString& text, ui::MessageKind kind) {
      messages << text;
      kinds << kind;
      if (onMessage) onMessage(text);
    };
    hooks.saveFile = [this](QWidget*, const ui::TFileRequest& request) {
      saveRequests << request;
      return saveAnswer;
    };
    hooks.openFile = [this](QWidget*, const ui::TFileRequest& request) {
      openRequests << request;
      return openAnswer;
    };
    hooks.question = [this](QWidget*, const QString& text) {
      questions << text;
      if (onQuestion) onQuestion(text);
      return questionAnswer;
    };
    hooks.busyCursor = [this](bool on) { busy.push_back(on); };
    hooks.openUrl = [this](const QString& url) {
      urls << url;
      return openUrlResult;
    };
    hooks.urlBox = [this](QWidget*, const QString& url) { urlBoxes << url; };
    ui::SetUiHooks(std::move(hooks));
  }

  // Forgets what was recorded and the answers; the hooks stay installed.
  void Clear() {
    messages.clear();
    kinds.clear();
    onMessage = {};
    saveRequests.clear();
    saveAnswer.clear();
    openRequests.clear();
    openAnswer.clear();
    questions.clear();
    questionAnswer = false;
    onQuestion = {};
    busy.clear();
    urls.clear();
    openUrlResult = true;
  }
};

}  // namespace velkaro::test
