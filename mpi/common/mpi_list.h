// The doubly linked rings the units keep their records on (a bind source's
// destinations, a decoder channel's frame slots): a link of two pointers,
// pstPrev and pstNext, inside each record and a head link of the same type.
#pragma once

template <class Link> void mpi_list_init(Link *head) { head->pstPrev = head->pstNext = head; }

template <class Link> bool mpi_list_empty(const Link *head) { return head->pstNext == head; }

template <class Link> void mpi_list_add_tail(Link *node, Link *head)
{
    node->pstPrev = head->pstPrev;
    node->pstNext = head;
    head->pstPrev->pstNext = node;
    head->pstPrev = node;
}

// Unlinks the node; it links to itself afterwards.
template <class Link> void mpi_list_del(Link *node)
{
    node->pstPrev->pstNext = node->pstNext;
    node->pstNext->pstPrev = node->pstPrev;
    node->pstPrev = node->pstNext = node;
}
