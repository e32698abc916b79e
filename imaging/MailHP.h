// MailHP unit: TMailAndHP, a non-visual component that opens a new message to a
// mail address and a web page through the shell.
#pragma once
#include <string>

#include "classlib/Classes.h"
#include "classlib/Resources.h"

class TMailAndHP : public TComponent {
 public:
  explicit TMailAndHP(TComponent* AOwner);

  // Whether the last request reached the shell's opener; nothing reads it but tests.
  bool Succeeded;
  // Published: the bare mail address, without a scheme.
  std::string MailAddress;
  // Published: the complete web address, scheme included.
  std::string HomePageAddress;

  // Opens "mailto:" followed by MailAddress.
  void SendMail();
  // Opens HomePageAddress unchanged.
  void OpenHomePage();

  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;

 private:
  void Open(const std::string& address);
};

VORNEL_REGISTER_CLASS(TMailAndHP);
