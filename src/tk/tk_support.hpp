// The one address users write to for help; every message that names one
// takes it from here.
#pragma once

#define TK_SUPPORT_EMAIL "support@quorvane.com"
