// replaced by the simulator sources
