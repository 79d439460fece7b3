// Movies played into graphs.
#pragma once

int PlayAllMovies();
int PauseAllMovies();
int ReleaseAllMovieSurfaces();
