// Stands in until the front-end library lands on this branch.
