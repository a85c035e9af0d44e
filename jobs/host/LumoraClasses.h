#pragma once
// The creatable classes of liblumora.so and their interfaces, for hosts that
// create them by name:
//
//   platform::com::ComPtr<jobs::IMaker> maker;
//   platform::com::CreateInstance("Lumora.Maker", jobs::IID_IMaker, maker.Out(), &error);
//   maker->object()->Init();
#include "jobs/host/Installer.h"
#include "platform/Com.h"

class Maker;
class RenderNet;
class RenderNet2;

namespace jobs {

using IMaker = platform::com::IObjectOf<Maker>;
using IRenderNet = platform::com::IObjectOf<RenderNet>;
using IRenderNet2 = platform::com::IObjectOf<RenderNet2>;

inline const platform::com::CLSID CLSID_Maker = platform::com::MakeGuid("{C3B34545-7BA0-4CF9-88F1-31B694229F9E}");
inline const platform::com::CLSID CLSID_RenderNet = platform::com::MakeGuid("{BE9337EF-4A54-4FF0-8808-BBAFE42FB2C7}");
inline const platform::com::CLSID CLSID_Installer = platform::com::MakeGuid("{CDCC5038-5483-413B-9FFC-A8988DD2C44E}");
inline const platform::com::CLSID CLSID_RenderNet2 = platform::com::MakeGuid("{2E60B6D8-C774-4C02-A73D-6512FED3CA9E}");

inline const platform::com::IID IID_IMaker = platform::com::MakeGuid("{7C60E6C5-93F7-4C05-A1E2-67C34223F1C1}");
inline const platform::com::IID IID_IRenderNet = platform::com::MakeGuid("{2C5412CE-921A-497D-A379-FD505D23DBA5}");
inline const platform::com::IID IID_IInstaller = platform::com::MakeGuid("{74DD733F-DF97-4EE4-9982-358E14591DD7}");
inline const platform::com::IID IID_IRenderNet2 = platform::com::MakeGuid("{BD035762-6F27-4D57-A58C-074F517624EE}");

}  // namespace jobs
