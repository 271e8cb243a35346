#include "app/sys_param.h"

#include "app/device_requests.h"
#include "platform/kernel/kernel.h"
#include "platform/media/sound.h"

namespace {
constexpr DWORD kWorkerWaitMs = 200;
}

CSysParam::CSysParam() {
  m_EvClick = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_hClickThread = CreateThread(nullptr, 0, ClickWorker, this, 0, nullptr);
}

CSysParam::~CSysParam() {
  // The event is not signalled for this, so no sound plays on the way out.
  m_ExitFlag = 1;
  if (m_hClickThread) {
    while (WaitForSingleObject(m_hClickThread, kWorkerWaitMs) == WAIT_TIMEOUT) {
    }
    CloseHandle(m_hClickThread);
  }
}

void CSysParam::Click() {
  BacklightRequest(kBacklightRequestB, 1);
  if (m_Settings.ClickSwitch()) SetEvent(m_EvClick);
}

void CSysParam::Beep() {
  if (m_Settings.ClickSwitch()) SetEvent(m_EvClick);
}

DWORD CSysParam::ClickWorker(LPVOID self) {
  auto* param = static_cast<CSysParam*>(self);
  while (param->m_ExitFlag == 0) {
    if (WaitForSingleObject(param->m_EvClick, kWorkerWaitMs) == WAIT_OBJECT_0) {
      PlaySoundW(u"\\NAND\\app\\Sound.wav", nullptr, SND_FILENAME);
      ResetEvent(param->m_EvClick);
    }
  }
  CloseHandle(param->m_EvClick);
  param->m_EvClick = nullptr;
  return 0;
}
