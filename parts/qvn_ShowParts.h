// Makes every part class of the show known to the programme by class name.
#pragma once

void qvn_RegisterShowParts();
