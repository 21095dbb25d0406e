// Identifiers of the host's interfaces and of this module's class and type
// library. Written as aggregates so they are constant-initialised: other
// translation units may use them during their own static initialisation.
#include "core/HostInterfaces.h"

// {9B206088-BF25-4EC4-A5AD-3EDAAE26849E}
const IID IID_IGuiPlugin = {0x9b206088, 0xbf25, 0x4ec4,
                            {0xa5, 0xad, 0x3e, 0xda, 0xae, 0x26, 0x84, 0x9e}};
// {68FF0606-2D5C-4911-82BE-6311FDD07C02}
const IID IID_IGuiWorks = {0x68ff0606, 0x2d5c, 0x4911,
                           {0x82, 0xbe, 0x63, 0x11, 0xfd, 0xd0, 0x7c, 0x02}};
// {12787098-07F0-44F7-87C6-77AC4C87CEDC}
const IID IID_IHostServices = {0x12787098, 0x07f0, 0x44f7,
                               {0x87, 0xc6, 0x77, 0xac, 0x4c, 0x87, 0xce, 0xdc}};
// {B283E0E3-4C78-4369-B7D8-8A5C1EDA344B}
const CLSID CLSID_HostServices = {0xb283e0e3, 0x4c78, 0x4369,
                                  {0xb7, 0xd8, 0x8a, 0x5c, 0x1e, 0xda, 0x34, 0x4b}};
// {7005425C-5A1A-4941-BB55-BD2F014D6A5E}
const IID IID_ITargetAccess = {0x7005425c, 0x5a1a, 0x4941,
                               {0xbb, 0x55, 0xbd, 0x2f, 0x01, 0x4d, 0x6a, 0x5e}};
// {CC2BE738-F21B-485D-88A1-BC79B8C2BDDC}, also in resources/QuillComponents.idl
const CLSID CLSID_LEDView = {0xcc2be738, 0xf21b, 0x485d,
                             {0x88, 0xa1, 0xbc, 0x79, 0xb8, 0xc2, 0xbd, 0xdc}};
// {2F808B5E-167A-4119-8D10-9F7735D47C11}, also in resources/QuillComponents.idl
const IID LIBID_QuillComponentsLib = {0x2f808b5e, 0x167a, 0x4119,
                                      {0x8d, 0x10, 0x9f, 0x77, 0x35, 0xd4, 0x7c, 0x11}};
