// The sequence that (re)builds the whole monitor: at start-up and after every shell restart.
#pragma once

void RunMonitorSetup();
