#include "imaging/MailHP.h"

#include "platform/Shell.h"

TMailAndHP::TMailAndHP(TComponent* AOwner) : TComponent(AOwner) {
  MailAddress = "";
  HomePageAddress = "http://";
  Succeeded = false;
}

void TMailAndHP::Open(const std::string& address) {
  HINSTANCE r = ShellExecuteA(GetDesktopWindow(), "open", address.c_str(), nullptr, nullptr, SW_SHOW);
  Succeeded = reinterpret_cast<std::intptr_t>(r) > 32;
}

void TMailAndHP::SendMail() { Open("mailto:" + MailAddress); }

void TMailAndHP::OpenHomePage() { Open(HomePageAddress); }

bool TMailAndHP::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "MailAddress") {
    MailAddress = reader.String(value);
    return true;
  }
  if (name == "HomePageAddress") {
    HomePageAddress = reader.String(value);
    return true;
  }
  return TComponent::ReadProperty(reader, name, value);
}
