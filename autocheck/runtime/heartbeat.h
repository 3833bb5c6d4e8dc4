// The two notices the working thread sends the access server over UDP. A
// notice the server answered moves AuthTime to now; one it did not answer
// leaves AuthTime as it was, so the schedule asks for it again.
#pragma once

// "HeartTest": the device is still here.
void HeartTest();
// "ComputerWakeup": the device is back after a gap that looks like sleep.
void ComputerWakeup();
