// Stands in until the daemon sources land on this branch.
