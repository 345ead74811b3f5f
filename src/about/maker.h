// Who makes kestrascope, and where its web pages live. Until the project has
// a site of its own the host is a reserved example domain, so no one else's
// site is ever opened.
#pragma once

namespace ks::maker {

inline constexpr const char* kHost = "https://www.example.com";
inline constexpr const char* kHomePage = "https://www.example.com/";
inline constexpr const char* kHelpPage = "https://www.example.com/help/kestrascope";

inline constexpr const char* kVersionText = "version 2.0.0.1";
inline constexpr const char* kCredit = "Developed by";
inline constexpr const char* kTradingName = "Kestrel Works";
inline constexpr const char* kJoiningLine = "is a trading name of";
inline constexpr const char* kCompany = "Kestrel Works Ltd";
inline constexpr const char* kCompanyNumber = "Company No. 00000000";
inline constexpr const char* kTaxNumber = "VAT Reg. No. 000 0000 00";
inline constexpr const char* kLegalMark = "\xE2\x84\xA2";  // trade mark sign
inline constexpr const char* kNotice =
    "Warning: this program is protected by copyright law and international treaties. "
    "Copying or distributing it, or any part of it, without the permission of the copyright "
    "holder is not allowed and may lead to civil and criminal penalties, pursued to the full "
    "extent of the law.";
inline constexpr const char* kDisclaimer =
    "Note: The creator and/or distributor are not responsible for the usage or misusage of this product";

}  // namespace ks::maker
