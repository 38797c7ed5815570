// forms.h: the forms library "TVFRMLA", as much of it as the launcher
// needs: start-up and shut-down around the kernel's, and the modal message
// box driven by a style word.
#pragma once
#include <cstdint>

#include "tv_base.h"

// Style word of TvFormsMessageBox: buttons in the low four bits, the
// default button in bits 4-7, the icon in bits 8-11.
enum TvFormsStyle : uint32_t {
  TvFormsOk = 1,
  TvFormsOkCancel = 2,
  TvFormsRetryCancel = 3,
  TvFormsYesNo = 4,
  TvFormsYesNoCancel = 5,
  TvFormsDefault2 = 0x20,
  TvFormsDefault3 = 0x30,
  TvFormsIconStop = 0x100,
  TvFormsIconQuestion = 0x200,
  TvFormsIconExclamation = 0x300,
  TvFormsIconInformation = 0x400,
};

// Answers of TvFormsMessageBox; 0 for anything else.
enum TvFormsAnswer : int {
  TvFormsAnswerOk = 1024,
  TvFormsAnswerCancel = 1025,
  TvFormsAnswerYes = 1026,
  TvFormsAnswerNo = 1027,
  TvFormsAnswerRetry = 1028,
};

// Registers the library ("TVFRMLA") with a started kernel; -1002 when the
// kernel is not started. Each start-up is matched by one shut-down.
TvStatus TvFormsStartup();
void TvFormsShutdown(TvStatus status);

// Shows text under title until the user answers; the answer.
int TvFormsMessageBox(const char* text, const char* title, uint32_t style);
