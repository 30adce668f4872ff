#pragma once
// MessageUI: the mail and text-message composers (fakes with recorded fields, finished by tests).
#include "platform/uikit/MFMailComposeViewController.h"
#include "platform/uikit/MFMessageComposeViewController.h"
